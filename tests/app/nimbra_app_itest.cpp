#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using nimbra::test::NimbraProcess;
using nimbra::test::waitUntil;

namespace {
// The coordinator's line for a new display: "+ <key> <kind> <w>x<h>pt".
const QRegularExpression addedLine(R"(\] display \+ (\S+) (hardware|synthesized) (\d+)x(\d+)px\n)");

QStringList addedKeys(const QString& log)
{
    QStringList keys;
    for (auto it = addedLine.globalMatch(log); it.hasNext();)
        keys << it.next().captured(1);
    return keys;
}

// Whether any window of the process is mapped on the X server.
bool hasVisibleWindow(const nimbra::test::PrivateX& x, QProcess& process)
{
    return x.run("xdotool", { "search", "--onlyvisible", "--pid", QString::number(process.processId()) });
}

// Counts the windows an X server maps on its root window from the moment this is made: a window
// that shows for a moment and goes again counts too, unlike a look at the windows there now.
class MapWatch {
public:
    explicit MapWatch(const QByteArray& display)
        : m_connection(xcb_connect(display.constData(), nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_change_window_attributes_checked(m_connection, root, XCB_CW_EVENT_MASK, &mask));
        m_watching = !error;
        free(error);
    }
    ~MapWatch() { xcb_disconnect(m_connection); }
    MapWatch(const MapWatch&) = delete;
    MapWatch& operator=(const MapWatch&) = delete;

    bool isWatching() const { return m_watching; }
    // Windows mapped so far: a round trip first, so that every map the server made before it
    // has been reported.
    int mappedWindows()
    {
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            m_mapped += (event->response_type & 0x7f) == XCB_MAP_NOTIFY ? 1 : 0;
            free(event);
        }
        return m_mapped;
    }

private:
    xcb_connection_t* m_connection;
    bool m_watching = false;
    int m_mapped = 0;
};
} // namespace

TEST(NimbraApp, StartsFollowsScreenChangesAndStopsCleanly)
{
    // An X server of its own: the screen changes and the notch windows stay away from other tests.
    nimbra::test::PrivateX x;
    ASSERT_TRUE(x.isRunning());
    NimbraProcess nimbra(R"({ "display.showOnAll": true })");
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));

    // Start-up: one notch for the virtual screen (no camera housing, no menu bar: a 120 × 24
    // pill), and the trust line of the key interception.
    const QRegularExpression screenLine(R"(\] display \+ (\S+) synthesized 120x24px\n)");
    ASSERT_TRUE(waitUntil([&] { return screenLine.match(nimbra.log()).hasMatch(); }, 10000))
        << nimbra.log().toStdString();
    const QString screenKey = screenLine.match(nimbra.log()).captured(1);
    EXPECT_TRUE(nimbra.waitForLog("level   accessibility trusted = true; program = ")) << nimbra.log().toStdString();
    EXPECT_TRUE(waitUntil([&] { return hasVisibleWindow(x, nimbra.process()); }, 5000));

    // A second monitor appears beside the screen (7 % of 2000 points: a 140-point pill). One
    // rebuild adds exactly one notch for it and leaves the screen's own alone.
    const QString monitor = QStringLiteral("NIMBRA-A%1").arg(nimbra.process().processId());
    ASSERT_TRUE(x.run("xrandr", { "--setmonitor", monitor, "2000/530x900/240+640+0", "none" }));
    const QRegularExpression monitorLine(R"(\] display \+ (\S+) synthesized 140x24px\n)");
    const bool added = waitUntil([&] { return monitorLine.match(nimbra.log()).hasMatch(); }, 5000);
    ASSERT_TRUE(x.run("xrandr", { "--delmonitor", monitor }));
    ASSERT_TRUE(added) << nimbra.log().toStdString();
    const QString monitorKey = monitorLine.match(nimbra.log()).captured(1);
    EXPECT_NE(monitorKey, screenKey);
    EXPECT_EQ(nimbra.log().count(monitorLine), 1) << nimbra.log().toStdString();

    EXPECT_TRUE(nimbra.waitForLog("] display - " + monitorKey + "\n")) << nimbra.log().toStdString();
    EXPECT_FALSE(nimbra.log().contains("] display - " + screenKey + "\n")) << nimbra.log().toStdString();
    EXPECT_EQ(addedKeys(nimbra.log()).count(screenKey), 1) << nimbra.log().toStdString();

    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}

TEST(NimbraApp, ByDefaultAScreenThatIsNoBuiltInPanelShowsNothingAndSigintStopsIt)
{
    // The default selection is the built-in display only, and the virtual screen is none: its
    // controller exists but never puts its windows on screen, not even for a moment at launch.
    nimbra::test::PrivateX x;
    ASSERT_TRUE(x.isRunning());
    MapWatch maps(x.display());
    ASSERT_TRUE(maps.isWatching());
    // Default settings, but not the first start (that one shows onboarding).
    NimbraProcess nimbra(R"({})");
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display() }));
    ASSERT_TRUE(waitUntil([&] { return !addedKeys(nimbra.log()).isEmpty(); }, 10000)) << nimbra.log().toStdString();
    // The launch ends with the readouts painting their first frame off screen; up to its end
    // the server mapped no window at all.
    ASSERT_TRUE(nimbra.waitForLog("surface prepared readouts in ", 10000)) << nimbra.log().toStdString();
    EXPECT_EQ(maps.mappedWindows(), 0);
    EXPECT_FALSE(hasVisibleWindow(x, nimbra.process()));

    ::kill(pid_t(nimbra.process().processId()), SIGINT);
    ASSERT_TRUE(nimbra.process().waitForFinished(5000));
    EXPECT_EQ(nimbra.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(nimbra.process().exitCode(), 0);
    EXPECT_EQ(maps.mappedWindows(), 0);
}
