#include "app/display_coordinator.h"

#include "support/test_support.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::waitUntil;

namespace {
// A virtual monitor on the X server beside the screen, removed again when the test ends.
struct VirtualMonitor {
    explicit VirtualMonitor(const QString& geometry, QChar tag = u'C')
        : name(QStringLiteral("NIMBRA-%1%2").arg(tag).arg(QCoreApplication::applicationPid()))
    {
        added = QProcess::execute("xrandr", { "--setmonitor", name, geometry, "none" }) == 0;
    }
    ~VirtualMonitor() { remove(); }
    void remove()
    {
        if (added)
            QProcess::execute("xrandr", { "--delmonitor", name });
        added = false;
    }
    QString name;
    bool added = false;
};
} // namespace

// A monitor added to the X server is every client's: the case has a server of its own.
NIMBRA_OWN_HARNESS(DisplayCoordinatorOnX);

TEST(DisplayCoordinatorOnX, FollowsAMonitorComingAndGoingWithOneRebuildEach)
{
    DisplayCoordinator coordinator([](const Presentation::Surface&, const SurfaceContext&) { return new QWidget; });
    std::vector<bool> visibility;
    coordinator.onVisibilityChange = [&](bool visible) { visibility.push_back(visible); };
    coordinator.setFocus(ModuleID("glance"));
    coordinator.setAutoCloseAfter(10);
    coordinator.start();
    ASSERT_EQ(coordinator.controllers().size(), 1u);
    NotchDisplayController* screen = coordinator.controllers().begin()->second.get();
    const int rebuilds = coordinator.rebuildCount();

    // 7 % of 2200 points: a 154-point pill on the new monitor.
    VirtualMonitor monitor("2200/580x900/240+1512+0");
    ASSERT_TRUE(monitor.added);
    ASSERT_TRUE(waitUntil([&] { return coordinator.controllers().size() == 2; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(coordinator.rebuildCount(), rebuilds + 1);
    EXPECT_EQ(coordinator.summary(), QString::fromUtf8("pill 120×24px, pill 154×24px"));

    // The screen kept its controller; the new one got the settings handed out before it existed.
    NotchDisplayController* added = nullptr;
    for (const auto& [key, controller] : coordinator.controllers()) {
        if (controller.get() != screen)
            added = controller.get();
    }
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(coordinator.controllers().count(screen->key().rawValue));
    EXPECT_EQ(added->presentation().focus(), ModuleID("glance"));
    EXPECT_EQ(added->autoCloseAfter, 10);
    // Neither display is a laptop panel, so the screen's one output stands in for it: with the
    // default selection the screen is enabled, and the monitor (listed before it by RandR's
    // monitors, but with no output of its own) is not.
    EXPECT_FALSE(added->isEnabled());
    EXPECT_TRUE(screen->isEnabled());
    EXPECT_EQ(coordinator.builtInKey()->rawValue, screen->key().rawValue);

    // An activity reaches both displays; only the enabled one shows it to anyone.
    coordinator.present(Activity { ModuleID("systemLevel"), 1, 40, 1.3, ActivityCategory::volume });
    EXPECT_TRUE(screen->isShowingSurface());
    EXPECT_TRUE(added->isShowingSurface());
    EXPECT_TRUE(coordinator.isAnythingVisible());
    EXPECT_EQ(visibility, std::vector<bool> { true });

    monitor.remove();
    ASSERT_TRUE(waitUntil([&] { return coordinator.controllers().size() == 1; }, 5000));
    EXPECT_EQ(coordinator.controllers().begin()->second.get(), screen);
    EXPECT_EQ(coordinator.rebuildCount(), rebuilds + 2);
    coordinator.stop();
}

TEST(DisplayCoordinatorOnX, MonitorsGoingAwayTakeTheirNotchesAndAnOpenSurfaceAlong)
{
    DisplayCoordinator coordinator([](const Presentation::Surface&, const SurfaceContext&) { return new QWidget; });
    std::vector<bool> expanded;
    coordinator.onExpandedChange = [&](bool value) { expanded.push_back(value); };
    coordinator.setBuiltInOnly(false);
    coordinator.start();
    VirtualMonitor monitor("1000/260x700/180+1512+0");
    ASSERT_TRUE(monitor.added);
    ASSERT_TRUE(waitUntil([&] { return coordinator.controllers().size() == 2; }, 5000));

    // The surface open on the monitor closes when the monitor goes.
    NotchDisplayController* onMonitor = nullptr;
    for (const auto& [key, controller] : coordinator.controllers()) {
        if (controller->geometry().metrics().frame.width() == 1000)
            onMonitor = controller.get();
    }
    ASSERT_NE(onMonitor, nullptr);
    onMonitor->open(ModuleID("glance"), false);
    ASSERT_TRUE(coordinator.isAnythingExpanded());
    monitor.remove();
    ASSERT_TRUE(waitUntil([&] { return coordinator.controllers().size() == 1; }, 5000));
    EXPECT_FALSE(coordinator.isAnythingExpanded());
    EXPECT_EQ(expanded, std::vector<bool>({ true, false }));

    // The screen's own output switched off and the last monitor gone: Qt keeps a stand-in
    // screen, on which no notch is left. One monitor back gets one.
    VirtualMonitor last("756/200x982/260+0+0", u'L');
    ASSERT_TRUE(last.added);
    QProcess off;
    off.setStandardErrorFile(QProcess::nullDevice());
    off.start("xrandr", { "--output", "screen", "--off" });
    off.waitForFinished();
    ASSERT_TRUE(waitUntil(
        [&] {
            return QGuiApplication::screens().size() == 1 && QGuiApplication::screens().front()->name() == last.name;
        },
        5000));
    ASSERT_TRUE(waitUntil(
        [&] {
            return coordinator.summary() == QString::fromUtf8("pill 120×24px")
                && coordinator.controllers().begin()->second->geometry().metrics().frame.width() == 756;
        },
        5000));
    last.remove();
    EXPECT_TRUE(waitUntil([&] { return coordinator.controllers().empty(); }, 5000));
    VirtualMonitor back("1000/260x700/180+200+100", u'B');
    ASSERT_TRUE(back.added);
    EXPECT_TRUE(waitUntil([&] { return coordinator.controllers().size() == 1; }, 5000));
    EXPECT_EQ(coordinator.summary(), QString::fromUtf8("pill 120×24px"));
    coordinator.stop();
}
