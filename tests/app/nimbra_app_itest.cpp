#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

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

// The pointer rests on the top edge: the case has the harness's X server to itself.
NIMBRA_OWN_HARNESS(NimbraOnADesktop);

TEST(NimbraOnADesktop, WithoutALaptopPanelTheDefaultSettingsOpenTheNotchOnItsScreenAndSigintStopsIt)
{
    // The default selection is the built-in display only. The virtual screen is no laptop panel,
    // so its one output stands in for it: resting on the top edge opens the surface.
    ASSERT_EQ(QProcess::execute("xdotool", { "mousemove", "100", "600" }), 0);
    // Default settings, but not the first start (that one shows onboarding).
    NimbraProcess nimbra(R"({})");
    ASSERT_TRUE(nimbra.start());
    ASSERT_TRUE(nimbra.waitForLog("surface prepared readouts in ", 10000)) << nimbra.log().toStdString();
    const QStringList search { "search", "--onlyvisible", "--pid", QString::number(nimbra.process().processId()) };
    ASSERT_TRUE(waitUntil([&] { return QProcess::execute("xdotool", search) == 0; }, 10000));

    ASSERT_EQ(QProcess::execute("xdotool", { "mousemove", "756", "0" }), 0);
    EXPECT_TRUE(nimbra.waitForLog(" -> expanded(", 10000)) << nimbra.log().toStdString();

    ::kill(pid_t(nimbra.process().processId()), SIGINT);
    ASSERT_TRUE(nimbra.process().waitForFinished(5000));
    EXPECT_EQ(nimbra.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(nimbra.process().exitCode(), 0);
}

// Many X11 desktops run no compositor (i3, plain openbox): the case has an X server of its own
// without one.
NIMBRA_OWN_HARNESS_WITHOUT_COMPOSITOR(NimbraWithoutACompositor);

TEST(NimbraWithoutACompositor, RestingOnTheTopEdgeOpensTheNotch)
{
    ASSERT_EQ(QProcess::execute("xdotool", { "mousemove", "100", "600" }), 0);
    NimbraProcess nimbra(R"({})");
    ASSERT_TRUE(nimbra.start());
    ASSERT_TRUE(nimbra.waitForLog("surface prepared readouts in ", 10000)) << nimbra.log().toStdString();
    // The top edge is taken by a window with no pixels, named for the purpose.
    ASSERT_TRUE(waitUntil(
        [&] {
            return QProcess::execute("xdotool", { "search", "--onlyvisible", "--name", "^Nimbra edge$" }) == 0;
        },
        10000));

    ASSERT_EQ(QProcess::execute("xdotool", { "mousemove", "756", "0" }), 0);
    EXPECT_TRUE(nimbra.waitForLog(" -> expanded(", 10000)) << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
