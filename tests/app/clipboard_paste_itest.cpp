#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;
using nimbra::test::PrivateX;
using nimbra::test::waitUntil;
using nimbra::test::XClient;

namespace {
constexpr std::uint32_t returnKey = 0xff0d;
}

TEST(ClipboardEndToEnd, TheHotKeyOpensTheHistoryAndReturnPastesIntoTheApplicationInFront)
{
    // A server of its own with a window manager: the keys pressed here reach nobody else.
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    XClient windowManager(x, "openbox", { "--sm-disable" });
    ASSERT_TRUE(waitUntil([&] { return x.hasWindowManager(); }));
    NimbraProcess nimbra(R"({ "display.showOnAll": true })");
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
    ASSERT_TRUE(nimbra.waitForLog("clipboa hotkey bound: ⇧⌘V\n", 10000)) << nimbra.log().toStdString();

    XClient editor(x, NIMBRA_TEXT_FIELD, { "editor" });
    ASSERT_TRUE(editor.printed("ready"));
    ASSERT_TRUE(nimbra.waitForLog("clipboa in front: editor\n")) << nimbra.log().toStdString();

    // A password manager's copy is left out; the next copy is kept.
    XClient secret(x, NIMBRA_CLIPBOARD_OWNER, { "text/plain=hunter2", "x-kde-passwordManagerHint=secret" });
    ASSERT_TRUE(secret.printed("owning"));
    ASSERT_TRUE(nimbra.waitForLog("clipboa skipped a concealed item\n")) << nimbra.log().toStdString();
    XClient copier(x, NIMBRA_CLIPBOARD_OWNER, { "text/plain=pasted words" });
    ASSERT_TRUE(copier.printed("owning"));
    ASSERT_TRUE(nimbra.waitForLog("clipboa captured pasted words\n")) << nimbra.log().toStdString();
    EXPECT_FALSE(nimbra.log().contains("hunter2"));

    // Super+Shift+V (typed through XTest) opens the clipboard tab with the keyboard; Return
    // pastes the entry.
    ASSERT_TRUE(x.run("xdotool", { "key", "super+shift+v" }));
    ASSERT_TRUE(waitUntil([&] { return nimbra.log().contains(" -> expanded(clipboard)\n"); }))
        << nimbra.log().toStdString();
    ASSERT_TRUE(nimbra.waitForLog("clipboa panel key=true")) << nimbra.log().toStdString();
    ASSERT_TRUE(x.tap({ returnKey }));
    EXPECT_TRUE(editor.printed("text: pasted words\n")) << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.waitForLog("clipboa pasted into editor\n")) << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.log().contains("expanded(clipboard) -> dormant")) << nimbra.log().toStdString();

    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
