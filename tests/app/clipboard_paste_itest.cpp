#include "core/notch_geometry.h"
#include "modules/shell/expanded_shell.h"

#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>

using namespace nimbra;
using nimbra::test::NimbraProcess;
using nimbra::test::PrivateX;
using nimbra::test::waitUntil;
using nimbra::test::XClient;

namespace {
constexpr std::uint32_t returnKey = 0xff0d, downKey = 0xff54, letterA = 0x61;
// A private server's screen is 640 wide; its notch hangs from the top, centred.
constexpr int screenWidth = 640;

// The size of the notch Nimbra found on the screen, from its line "+ <key> synthesized WxHpt".
QSizeF notchSize(const QString& log)
{
    const auto match = QRegularExpression(R"(\] display \+ \S+ \S+ (\d+)x(\d+)px\n)").match(log);
    return match.hasMatch() ? QSizeF(match.captured(1).toDouble(), match.captured(2).toDouble()) : QSizeF();
}

// Where the button of `tab` sits on the screen while the surface is expanded with the
// clipboard, shelf, timer, status and settings tabs: the same shell, laid out here at the
// expanded body's size without being shown. The body hangs centred from the screen's top edge.
QPoint tabOnScreen(NotchSurfaceTab tab, QSizeF notch)
{
    const LayoutMetrics layout = LayoutMetrics::defaults();
    const QSizeF body(layout.expandedWidth, layout.expandedHeight);
    const SurfaceMetrics metrics = SurfaceContext { body, notch.height(), notch.width() }.metrics();
    ExpandedShell shell(metrics, NotchSurfaceTab::clipboard,
        { NotchSurfaceTab::clipboard, NotchSurfaceTab::shelf, NotchSurfaceTab::timer, NotchSurfaceTab::status,
            NotchSurfaceTab::settings },
        {}, nullptr);
    shell.setAttribute(Qt::WA_DontShowOnScreen);
    shell.resize(body.toSize());
    shell.show();
    const NotchNavRow* row = isLeading(tab) ? shell.leadingRow() : shell.trailingRow();
    for (const QAbstractButton* button : row->buttons()) {
        if (button->toolTip() == title(tab))
            return QPoint(int(screenWidth / 2 - body.width() / 2), 0) + button->mapTo(&shell, button->rect().center());
    }
    return {};
}

// Whether the pointer is over a window of the process `pid`.
bool pointerIsOver(const PrivateX& x, qint64 pid)
{
    const auto window
        = QRegularExpression(R"(WINDOW=(\d+))").match(x.output("xdotool", { "getmouselocation", "--shell" }));
    return window.hasMatch()
        && x.output("xdotool", { "getwindowpid", window.captured(1) }).trimmed() == QString::number(pid);
}

// A server of its own with a window manager (the keys pressed here reach nobody else), Nimbra
// showing its notch there with the clipboard hot key bound, and an editor in front.
struct ClipboardEndToEnd : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(x.isRunning());
        ASSERT_TRUE(waitUntil([&] { return x.hasWindowManager(); }));
        ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
        ASSERT_TRUE(nimbra.waitForLog("clipboa hotkey bound: Shift+Super+V\n", 10000)) << nimbra.log().toStdString();
        editor = std::make_unique<XClient>(x, NIMBRA_TEXT_FIELD, QStringList { "editor" });
        ASSERT_TRUE(editor->printed("ready"));
        ASSERT_TRUE(nimbra.waitForLog("clipboa in front: editor\n")) << nimbra.log().toStdString();
    }

    // Super+Shift+V, typed through XTest: the clipboard tab opens and takes the keyboard.
    void openWithHotKey()
    {
        const qsizetype opened = nimbra.log().count(" -> expanded(clipboard)\n");
        ASSERT_TRUE(x.run("xdotool", { "key", "super+shift+v" }));
        ASSERT_TRUE(waitUntil([&] { return nimbra.log().count(" -> expanded(clipboard)\n") > opened; }))
            << nimbra.log().toStdString();
        // The panel holds the keyboard once the X server gave it the focus (the log's one look
        // right after asking can come before that); a key typed after this reaches it.
        const QString pid = QString::number(nimbra.process().processId());
        ASSERT_TRUE(waitUntil([&] {
            return x.output("xdotool", { "getwindowfocus", "getwindowpid" }).trimmed() == pid;
        })) << nimbra.log().toStdString();
    }

    PrivateX x;
    XClient windowManager { x, "openbox", { "--sm-disable" } };
    NimbraProcess nimbra { R"({ "display.showOnAll": true })" };
    std::unique_ptr<XClient> editor;
};
} // namespace

TEST_F(ClipboardEndToEnd, TheHotKeyOpensTheHistoryAndReturnPastesIntoTheApplicationInFront)
{
    // A password manager's copy is left out; the next copy is kept.
    XClient secret(x, NIMBRA_CLIPBOARD_OWNER, { "text/plain=hunter2", "x-kde-passwordManagerHint=secret" });
    ASSERT_TRUE(secret.printed("owning"));
    ASSERT_TRUE(nimbra.waitForLog("clipboa skipped a concealed item\n")) << nimbra.log().toStdString();
    XClient copier(x, NIMBRA_CLIPBOARD_OWNER, { "text/plain=pasted words" });
    ASSERT_TRUE(copier.printed("owning"));
    ASSERT_TRUE(nimbra.waitForLog("clipboa captured pasted words\n")) << nimbra.log().toStdString();
    EXPECT_FALSE(nimbra.log().contains("hunter2"));

    // The hot key opens the clipboard tab with the keyboard; Return pastes the entry.
    ASSERT_NO_FATAL_FAILURE(openWithHotKey());
    ASSERT_TRUE(x.tap({ returnKey }));
    EXPECT_TRUE(editor->printed("text: pasted words\n")) << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.waitForLog("clipboa pasted into editor\n")) << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.log().contains("expanded(clipboard) -> dormant")) << nimbra.log().toStdString();

    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}

TEST_F(ClipboardEndToEnd, EachOpeningSelectsTheFirstRowAndReturnPastesTheHighlightedOne)
{
    std::vector<std::unique_ptr<XClient>> copiers;
    for (const char* words : { "alpha words", "beta words", "gamma words" }) {
        copiers.push_back(
            std::make_unique<XClient>(x, NIMBRA_CLIPBOARD_OWNER, QStringList { "text/plain=" + QString(words) }));
        ASSERT_TRUE(copiers.back()->printed("owning"));
        ASSERT_TRUE(nimbra.waitForLog("clipboa captured " + QString(words) + "\n")) << nimbra.log().toStdString();
    }

    // The oldest entry, found by searching, is pasted.
    ASSERT_NO_FATAL_FAILURE(openWithHotKey());
    ASSERT_TRUE(x.run("xdotool", { "type", "alp" }));
    ASSERT_TRUE(x.tap({ returnKey }));
    ASSERT_TRUE(editor->printed("text: alpha words\n")) << nimbra.log().toStdString();
    ASSERT_TRUE(nimbra.waitForLog("clipboa pasted into editor\n")) << nimbra.log().toStdString();

    // Opened again, the search is empty and the newest entry is highlighted: Down moves to the
    // second row, and Return pastes that.
    ASSERT_NO_FATAL_FAILURE(openWithHotKey());
    ASSERT_TRUE(x.tap({ downKey }));
    ASSERT_TRUE(x.tap({ returnKey }));
    EXPECT_TRUE(editor->printed("text: alpha wordsbeta words\n")) << nimbra.log().toStdString();

    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}

TEST_F(ClipboardEndToEnd, AnotherTabGivesTheKeyboardBackAndTheSurfaceStaysOpenUntilThePointerLeaves)
{
    ASSERT_NO_FATAL_FAILURE(openWithHotKey());

    // A click on the settings tab gives the keyboard back. Nimbra hears that it is no longer
    // active, and the surface stays open on the settings tab all the same.
    const QPoint settingsTab = tabOnScreen(NotchSurfaceTab::settings, notchSize(nimbra.log()));
    ASSERT_FALSE(settingsTab.isNull()) << nimbra.log().toStdString();
    // Without a compositor the window takes the pointer only where the outline is drawn, so the
    // click waits until the opening outline has grown under the pointer.
    ASSERT_TRUE(x.run("xdotool", { "mousemove", QString::number(settingsTab.x()), QString::number(settingsTab.y()) }));
    ASSERT_TRUE(waitUntil([&] { return pointerIsOver(x, nimbra.process().processId()); }))
        << nimbra.log().toStdString();
    ASSERT_TRUE(x.run("xdotool", { "click", "1" }));
    ASSERT_TRUE(nimbra.waitForLog("surface nav -> settings\n")) << nimbra.log().toStdString();
    ASSERT_TRUE(nimbra.waitForLog("] surface inactive: ")) << nimbra.log().toStdString();
    EXPECT_FALSE(nimbra.log().contains(" -> dormant\n")) << nimbra.log().toStdString();

    // The editor has the keyboard again: what is typed now reaches it (once the window manager
    // has handed it the focus).
    EXPECT_TRUE(waitUntil([&] { return x.tap({ letterA }) && editor->printed("text: a", 200); }, 5000));
    EXPECT_FALSE(nimbra.log().contains(" -> dormant\n")) << nimbra.log().toStdString();

    // The pointer has visited the surface: leaving it closes it.
    ASSERT_TRUE(x.run("xdotool", { "mousemove", "320", "420" }));
    EXPECT_TRUE(nimbra.waitForLog("expanded(clipboard) -> dormant\n")) << nimbra.log().toStdString();

    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
