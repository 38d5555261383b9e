#include "app/settings_observation.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {
struct Observation : ::testing::Test {
    Observation()
    {
        observation.onChange = [this] { ++applications; };
        observation.observe();
    }
    void settle() { QCoreApplication::processEvents(); }

    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    SettingsObservation observation { settings };
    int applications = 0;
};
} // namespace

TEST_F(Observation, TwoChangesInOneTurnGiveOneReapplicationOnTheNextTurn)
{
    settings.setShowOnAllDisplays(true);
    settings.setHoverDwell(0.3);
    // Nothing is applied from inside the change.
    EXPECT_EQ(applications, 0);
    settle();
    EXPECT_EQ(applications, 1);
    settle();
    EXPECT_EQ(applications, 1);

    // Watching resumed after the re-application.
    EXPECT_TRUE(observation.isArmed());
    settings.mutateLowBatteryLevels([](std::set<int>& levels) { levels.insert(50); });
    settle();
    EXPECT_EQ(applications, 2);
}

TEST_F(Observation, SettingsReadWhereTheyAreUsedTriggerNothing)
{
    settings.setPowerActivityEnabled(!settings.powerActivityEnabled());
    settings.setLaunchAtLogin(!settings.launchAtLogin());
    settings.setChecksForUpdates(!settings.checksForUpdates());
    settings.setPowerEnabled(!settings.powerEnabled());
    settings.setHasSeenOnboarding(!settings.hasSeenOnboarding());
    settle();
    EXPECT_EQ(applications, 0);
    // Assigning a value it already has is no change either.
    settings.setHudReplacement(settings.hudReplacement());
    settle();
    EXPECT_EQ(applications, 0);
}

TEST_F(Observation, EveryObservedSettingTriggersAReapplication)
{
    EXPECT_EQ(SettingsObservation::observedProperties().size(), 28u);
    settings.setClockFont(ClockFont::mono);
    settle();
    settings.setEyesEnabled(!settings.eyesEnabled());
    settle();
    settings.setPomodoroCycles(7);
    settle();
    settings.setClipboardHotKey(KeyCombo { 9, 0x1000 });
    settle();
    EXPECT_EQ(applications, 4);
}
