#include "app/display_coordinator.h"

#include "support/test_support.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::waitUntil;

namespace {
struct Coordinator : ::testing::Test {
    Coordinator()
    {
        coordinator.onVisibilityChange = [this](bool visible) { visibility.push_back(visible); };
        coordinator.start();
    }

    DisplayCoordinator coordinator { [](const Presentation::Surface&, const SurfaceContext&) { return new QWidget; } };
    std::vector<bool> visibility;
};
} // namespace

TEST_F(Coordinator, TheSelectionEnablesAndDisablesControllersWithoutRebuilding)
{
    ASSERT_EQ(coordinator.controllers().size(), 1u);
    NotchDisplayController* controller = coordinator.controllers().begin()->second.get();
    // Qt's offscreen screen is no built-in panel: built-in only (the default) enables nothing.
    EXPECT_FALSE(coordinator.builtInKey().has_value());
    EXPECT_FALSE(controller->isEnabled());
    coordinator.setBuiltInOnly(false);
    EXPECT_TRUE(controller->isEnabled());
    coordinator.setBuiltInOnly(true);
    EXPECT_FALSE(controller->isEnabled());
    EXPECT_EQ(coordinator.rebuildCount(), 1);
    EXPECT_EQ(coordinator.controllers().begin()->second.get(), controller);
}

TEST_F(Coordinator, ReportsVisibilityOnlyWhenItChanges)
{
    coordinator.setBuiltInOnly(false);
    const Activity volume { ModuleID("systemLevel"), 1, 40, 1.3, ActivityCategory::volume };
    coordinator.present(volume);
    coordinator.present(Activity { ModuleID("systemLevel"), 2, 40, 1.3, ActivityCategory::volume });
    EXPECT_TRUE(coordinator.isAnythingVisible());
    EXPECT_EQ(visibility, std::vector<bool> { true });
    ASSERT_TRUE(waitUntil([&] { return !coordinator.isAnythingVisible(); }, 4000));
    EXPECT_EQ(visibility, (std::vector<bool> { true, false }));
}

TEST_F(Coordinator, StoppingTearsEveryDisplayDown)
{
    coordinator.setBuiltInOnly(false);
    coordinator.stop();
    EXPECT_TRUE(coordinator.controllers().empty());
    // Requests after the stop reach nothing and break nothing.
    coordinator.present(Activity { ModuleID("systemLevel"), 1, 40, 1.3, ActivityCategory::volume });
    coordinator.open(ModuleID("clipboard"), true);
    EXPECT_FALSE(coordinator.isAnythingVisible());
}

TEST_F(Coordinator, ADisabledDisplayCountsAsShowingNothing)
{
    // A resident readout on a display that is switched off is seen by no one, so nothing that
    // runs only for a visible surface (the player's position checks) may run for it.
    coordinator.setResident(ModuleID("nowPlaying"));
    EXPECT_FALSE(coordinator.isAnythingVisible());
    EXPECT_TRUE(visibility.empty());
    coordinator.setBuiltInOnly(false);
    EXPECT_TRUE(coordinator.isAnythingVisible());
    coordinator.setBuiltInOnly(true);
    EXPECT_FALSE(coordinator.isAnythingVisible());
    EXPECT_EQ(visibility, (std::vector<bool> { true, false }));
}
