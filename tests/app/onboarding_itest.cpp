#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using nimbra::test::NimbraProcess;
using nimbra::test::PrivateX;
using nimbra::test::waitUntil;
using nimbra::test::XClient;

namespace {

// The process's mapped windows of onboarding's width (the notch's windows may flash by at the
// start); none when there is none.
QStringList onboardingWindows(const PrivateX& x, NimbraProcess& nimbra)
{
    QStringList found;
    const QString pid = QString::number(nimbra.process().processId());
    for (const QString& window :
        x.output("xdotool", { "search", "--onlyvisible", "--pid", pid }).split('\n', Qt::SkipEmptyParts)) {
        if (x.output("xdotool", { "getwindowgeometry", window }).contains("Geometry: 580x"))
            found << window;
    }
    return found;
}

QJsonObject storedSettings(NimbraProcess& nimbra)
{
    QFile file(nimbra.configHome() + "/nimbra/settings.json");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
    free(reply);
    return value;
}

// Asks a window to close the way a window manager's close button does (WM_DELETE_WINDOW).
bool askToClose(const PrivateX& x, const QString& window)
{
    xcb_connection_t* connection = xcb_connect(x.display().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window.toUInt();
    event.type = atom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    // A reply proves the server has carried out the request. A connection closed right after
    // writing can be dropped before the server reads what is left on it, on a busy machine.
    auto* reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    const bool sent = reply != nullptr;
    free(reply);
    xcb_disconnect(connection);
    return sent;
}

} // namespace

TEST(Onboarding, TheFirstStartShowsItFinishingRecordsItAndTheSecondStartDoesNot)
{
    // An X server and window manager of its own: the test types into the window.
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    XClient wm(x, "openbox", { "--sm-disable" });
    ASSERT_TRUE(waitUntil([&] { return x.hasWindowManager(); }, 10000));

    NimbraProcess nimbra; // no settings: the first start
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
    ASSERT_TRUE(nimbra.waitForLog("display onboarding shown\n", 10000)) << nimbra.log().toStdString();
    QStringList windows;
    ASSERT_TRUE(waitUntil([&] { return (windows = onboardingWindows(x, nimbra)).size() == 1; }, 5000))
        << windows.join(' ').toStdString();
    ASSERT_TRUE(x.run("xdotool", { "windowactivate", "--sync", windows.first() }));

    // Return walks through the six feature steps and finishes on the last.
    constexpr std::uint32_t returnKey = 0xff0d;
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(x.tap({ returnKey })) << i;
    ASSERT_TRUE(nimbra.waitForLog("display onboarding finished\n", 10000)) << nimbra.log().toStdString();
    EXPECT_TRUE(waitUntil([&] { return onboardingWindows(x, nimbra).isEmpty(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return storedSettings(nimbra).value("onboarding.seen") == QJsonValue(true); }));
    EXPECT_EQ(nimbra.log().count("onboarding finished"), 1) << nimbra.log().toStdString();
    ASSERT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();

    // The second start in the same profile decides at launch not to show it.
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
    ASSERT_TRUE(nimbra.waitForLog("display onboarding already seen\n", 10000)) << nimbra.log().toStdString();
    EXPECT_EQ(nimbra.log().count("onboarding shown"), 1) << "only the first start showed it";
    EXPECT_TRUE(onboardingWindows(x, nimbra).isEmpty());
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}

TEST(Onboarding, ClosingTheWindowFromItsTitleBarCountsAsSeen)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    NimbraProcess nimbra;
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
    QStringList windows;
    ASSERT_TRUE(waitUntil([&] { return (windows = onboardingWindows(x, nimbra)).size() == 1; }, 10000))
        << nimbra.log().toStdString();
    ASSERT_TRUE(askToClose(x, windows.first()));
    ASSERT_TRUE(nimbra.waitForLog("display onboarding finished\n", 15000)) << nimbra.log().toStdString();
    EXPECT_TRUE(waitUntil([&] { return storedSettings(nimbra).value("onboarding.seen") == QJsonValue(true); }));
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}

TEST(Onboarding, QuittingWhileItIsOpenLeavesItUnseenAndAStartThatChangesNothingWritesNothing)
{
    PrivateX x;
    ASSERT_TRUE(x.isRunning());
    NimbraProcess nimbra; // the first start, with no settings file
    const QString file = nimbra.configHome() + "/nimbra/settings.json";
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
    ASSERT_TRUE(waitUntil([&] { return onboardingWindows(x, nimbra).size() == 1; }, 10000))
        << nimbra.log().toStdString();
    // Stopped as a logout stops it: the window closes, but the user did not close it.
    ASSERT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
    EXPECT_FALSE(nimbra.log().contains("onboarding finished")) << nimbra.log().toStdString();
    EXPECT_FALSE(QFile::exists(file)) << QJsonDocument(storedSettings(nimbra)).toJson().toStdString();

    // So the next start shows it again.
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
    EXPECT_TRUE(waitUntil([&] { return nimbra.log().count("display onboarding shown\n") == 2; }, 10000))
        << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
