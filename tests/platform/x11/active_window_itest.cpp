#include "platform/x11/active_window.h"

#include "platform/x11/x11_input_bridge.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::PrivateX;
using nimbra::test::waitUntil;
using nimbra::test::XClient;

TEST(ActiveWindowWatcher, FollowsTheWindowManagersActiveWindowAndHandsTheKeyboardBack)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    XClient windowManager(x, "openbox", { "--sm-disable" });
    X11InputBridge input(x.display());
    ASSERT_TRUE(waitUntil([&] { return x.hasWindowManager(); }));
    ActiveWindowWatcher watcher(&input);
    QStringList seen;
    watcher.onChange = [&](const ActiveApplication& application) { seen << application.windowClass; };
    watcher.start();
    EXPECT_EQ(watcher.pasteTarget(), std::nullopt);

    XClient first(x, NIMBRA_TEXT_FIELD, { "first_field" });
    ASSERT_TRUE(first.printed("ready"));
    ASSERT_TRUE(
        waitUntil([&] { return watcher.pasteTarget() && watcher.pasteTarget()->windowClass == "first_field"; }));
    const ActiveApplication target = *watcher.pasteTarget();
    EXPECT_EQ(target.appId, target.windowClass) << "a Qt window without a desktop file is named by its class";
    EXPECT_EQ(target.name, target.windowClass);
    EXPECT_FALSE(target.isTerminal());

    XClient second(x, NIMBRA_TEXT_FIELD, { "second_field" });
    ASSERT_TRUE(second.printed("ready"));
    ASSERT_TRUE(waitUntil([&] { return watcher.pasteTarget()->windowClass == "second_field"; }));

    EXPECT_FALSE(watcher.holdsKeyboard(target.window));

    // Asked to, the window manager makes the first one active again: the keyboard is there.
    bool handedBack = false;
    ASSERT_TRUE(watcher.handBack(target, [&] { handedBack = true; }));
    ASSERT_TRUE(waitUntil([&] { return handedBack; }));
    EXPECT_TRUE(watcher.holdsKeyboard(target.window));
    EXPECT_FALSE(watcher.isHandingBack());
    ASSERT_TRUE(waitUntil([&] { return watcher.pasteTarget()->windowClass == "first_field"; }));
    EXPECT_EQ(seen.size(), 3);
}
