#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/eyes/eye_tracker.h"
#include "modules/eyes/eyes_status_item.h"
#include "modules/power/charge_activity_view.h"
#include "modules/power/power_monitor.h"
#include "modules/update/update_checker.h"
#include "support/test_support.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/surface/surface_metrics.h"
#include "ui/tray/tray_item.h"

#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

struct StatusMenu : ::testing::Test {
    StatusMenu() { delegate.applicationDidFinishLaunching(); }
    void settle() { QCoreApplication::processEvents(); }

    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

// The entries a person sees.
QStringList titles(const QMenu& menu)
{
    QStringList result;
    for (const QAction* action : menu.actions()) {
        if (action->isVisible())
            result << (action->isSeparator() ? QStringLiteral("—") : action->text());
    }
    return result;
}

QAction* entry(const QMenu& menu, const QString& title)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

PowerSnapshot reading(int percent, PowerSnapshot::Source source, bool charging = false)
{
    PowerSnapshot snapshot;
    snapshot.percentage = percent;
    snapshot.source = source;
    snapshot.isCharging = charging;
    return snapshot;
}

} // namespace

TEST_F(StatusMenu, ThePlainMarkCarriesTheMenuWhileTheEyesAreOff)
{
    ASSERT_NE(delegate.statusItem(), nullptr);
    ASSERT_NE(delegate.menu(), nullptr);
    EXPECT_EQ(delegate.statusItem()->menu(), delegate.menu());
    EXPECT_EQ(delegate.statusItem()->icon().contextMenu(), delegate.menu());
    EXPECT_EQ(delegate.statusItem()->icon().toolTip(), "Nimbra");
    EXPECT_FALSE(delegate.statusItem()->icon().icon().isNull());
    EXPECT_EQ(delegate.eyesItem().menu(), nullptr);
    EXPECT_FALSE(delegate.eyesItem().isVisible());
    delegate.updates().feedURL = QUrl("https://updates.example.org/appcast.json");
    Q_EMIT delegate.menu()->aboutToShow();
    EXPECT_EQ(titles(*delegate.menu()),
        (QStringList { "Settings…", "Preview Battery Readout", "Check for Updates…", "—", "Quit Nimbra" }));
    EXPECT_EQ(entry(*delegate.menu(), "Settings…")->shortcut(), QKeySequence("Ctrl+,"));
    EXPECT_EQ(entry(*delegate.menu(), "Quit Nimbra")->shortcut(), QKeySequence("Ctrl+Q"));
    // Nothing to preview before a power reading.
    EXPECT_TRUE(entry(*delegate.menu(), "Check for Updates…")->isEnabled());
    EXPECT_FALSE(entry(*delegate.menu(), "Preview Battery Readout")->isEnabled());
}

TEST_F(StatusMenu, ABuildWithoutAnUpdateFeedDisablesTheCheckAndSaysWhy)
{
    // As this build is made unless it names a feed host.
    delegate.updates().feedURL.reset();
    ASSERT_NE(delegate.menu(), nullptr);
    Q_EMIT delegate.menu()->aboutToShow();
    EXPECT_EQ(titles(*delegate.menu()),
        (QStringList { "Settings…", "Preview Battery Readout", "Check for Updates…", "This build has no update feed",
            "—", "Quit Nimbra" }));
    QAction* check = entry(*delegate.menu(), "Check for Updates…");
    EXPECT_FALSE(check->isEnabled());
    EXPECT_EQ(check->toolTip(), "This build has no update feed");
    EXPECT_FALSE(entry(*delegate.menu(), "This build has no update feed")->isEnabled());
}

TEST_F(StatusMenu, TurningTheEyesOnAndOffHandsTheMenuOver)
{
    const QStringList entries = titles(*delegate.menu());
    settings.setEyesEnabled(true);
    settle();
    EXPECT_EQ(delegate.statusItem(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return delegate.eyesItem().isVisible(); }));
    ASSERT_NE(delegate.menu(), nullptr);
    EXPECT_EQ(delegate.eyesItem().menu(), delegate.menu());
    EXPECT_EQ(delegate.eyesItem().item()->icon().contextMenu(), delegate.menu());
    EXPECT_EQ(titles(*delegate.menu()), entries);
    EXPECT_TRUE(delegate.eyes().clockMode().has_value()) << "the tracker runs";

    settings.setEyesEnabled(false);
    settle();
    EXPECT_FALSE(delegate.eyesItem().isVisible());
    EXPECT_EQ(delegate.eyesItem().menu(), nullptr);
    ASSERT_NE(delegate.statusItem(), nullptr);
    EXPECT_EQ(delegate.statusItem()->menu(), delegate.menu());
    EXPECT_FALSE(delegate.eyes().clockMode().has_value()) << "the tracker stopped";
}

TEST_F(StatusMenu, PublishedFramesReachTheEyesItemWithItsPlace)
{
    EyeStyle style;
    style.blinks = false;
    style.reactsToClicks = false;
    settings.setEyeStyle(style);
    settings.setEyesEnabled(true);
    settle();
    ASSERT_TRUE(waitUntil([&] { return delegate.eyesItem().isVisible(); }));
    delegate.handlePower(reading(12, PowerSnapshot::Source::battery), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return delegate.eyesItem().frame().tired; }));
    EXPECT_EQ(delegate.eyes().eyeCentres, *delegate.eyesItem().eyeCentres());
    EXPECT_DOUBLE_EQ(delegate.eyes().travel, delegate.eyesItem().travel());
}

TEST_F(StatusMenu, LowBatteryMakesTheEyesTired)
{
    delegate.handlePower(reading(20, PowerSnapshot::Source::battery), std::nullopt);
    EXPECT_TRUE(delegate.eyes().isTired());
    delegate.handlePower(reading(21, PowerSnapshot::Source::battery), std::nullopt);
    EXPECT_FALSE(delegate.eyes().isTired());
    delegate.handlePower(reading(5, PowerSnapshot::Source::wallPower, true), std::nullopt);
    EXPECT_FALSE(delegate.eyes().isTired());
}

TEST_F(StatusMenu, WithoutABatteryThereIsNothingToPreview)
{
    settings.setShowOnAllDisplays(true);
    settle();
    ASSERT_FALSE(delegate.power().snapshot().has_value()) << "the test machine has no battery";
    Q_EMIT delegate.menu()->aboutToShow();
    EXPECT_FALSE(entry(*delegate.menu(), "Preview Battery Readout")->isEnabled());
    delegate.previewActivity();
    auto& controller = *delegate.coordinator()->controllers().begin()->second;
    EXPECT_FALSE(controller.presentation().surface().shownActivity().has_value());
}

TEST(BatteryPreview, TheChargeKindFollowsTheReading)
{
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    ActivityRouter router(settings);
    const Activity shown = router.previewBattery(reading(64, PowerSnapshot::Source::wallPower, false));
    EXPECT_EQ(shown, (Activity { PowerMonitor::moduleID, 1, 0, 2.6, std::nullopt }));
    EXPECT_EQ(router.chargeKind(), ChargeActivityView::Kind::holding());
    EXPECT_EQ(router.payload(1), nullptr) << "the readout falls back to the kind and the newest reading";
    router.previewBattery(reading(64, PowerSnapshot::Source::wallPower, true));
    EXPECT_EQ(router.chargeKind(), ChargeActivityView::Kind::connected());
    EXPECT_EQ(router.previewBattery(reading(30, PowerSnapshot::Source::battery)).token, 3u);
    EXPECT_EQ(router.chargeKind(), ChargeActivityView::Kind::disconnected());
}

TEST_F(StatusMenu, SettingsOpensTheSettingsWindow)
{
    ASSERT_NE(delegate.settingsWindow(), nullptr);
    entry(*delegate.menu(), "Settings…")->trigger();
    ASSERT_NE(delegate.settingsWindow()->window(), nullptr);
    EXPECT_TRUE(waitUntil([&] { return delegate.settingsWindow()->window()->isVisible(); }));
}
