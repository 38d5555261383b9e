#include "app/app_delegate.h"

#include "core/nimbra_settings.h"
#include "modules/eyes/eyes_status_item.h"
#include "support/test_support.h"
#include "support/tray_host.h"
#include "ui/tray/tray_item.h"

#include <QCoreApplication>
#include <QMenu>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

struct StatusTray : ::testing::Test {
    StatusTray()
    {
        // No onboarding window to take the focus from the menu.
        settings.setHasSeenOnboarding(true);
        delegate.applicationDidFinishLaunching();
        // The tray comes after the items: a tray that announces itself again re-docks every
        // icon in new windows, which would take a click aimed at the old ones.
        tray = std::make_unique<TrayHost>();
    }

    // The eyes switched on or off and applied at once, within the current turn of the event loop.
    void setEyes(bool on)
    {
        settings.setEyesEnabled(on);
        delegate.applyEyeSettings();
    }
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
    std::unique_ptr<TrayHost> tray;
};

} // namespace

// The tray takes in every status item on the display and the cases click with the real pointer:
// they run on an X server of their own.
NIMBRA_OWN_HARNESS(StatusTray);

// One icon in the tray at a time, and that one opens the menu: the plain mark, or the eyes in
// its place; eyes turned on and off before they could appear leave the plain mark alone.
TEST_F(StatusTray, OneIconCarriesTheMenu)
{
    ASSERT_TRUE(waitUntil([&] { return tray->isReady(); })) << "trayer did not take the tray selection";
    // Each click lands somewhere else on the icon, so that no two count as a double click.
    int corner = 0;
    for (const bool eyes : { false, true, false }) {
        SCOPED_TRACE(eyes ? "eyes" : "plain mark");
        setEyes(eyes);
        // Every icon shown so far is in the tray: then it holds exactly one.
        ASSERT_TRUE(waitUntil([&] {
            return delegate.eyesItem().isVisible() == eyes && !trayIconWindows().isEmpty()
                && iconsInTheTray() == trayIconWindows();
        }));
        ASSERT_EQ(iconsInTheTray().size(), 1);
        ASSERT_TRUE(clickWindow(iconsInTheTray().first(), QPoint(4, 4 + 12 * (corner++ % 2))));
        ASSERT_TRUE(waitUntil([&] { return delegate.menu()->isVisible(); })) << "the icon carries no menu";
        delegate.menu()->hide();
    }

    setEyes(true);
    setEyes(false);
    // A pending creation of the eyes would have run in this turn; an icon docked after it is
    // taken in after anything that creation showed.
    QCoreApplication::processEvents();
    TrayItem later;
    later.show();
    ASSERT_TRUE(waitUntil([&] { return later.iconSide() && iconsInTheTray() == trayIconWindows(); }));
    EXPECT_FALSE(delegate.eyesItem().isVisible());
    ASSERT_NE(delegate.statusItem(), nullptr);
    EXPECT_EQ(iconsInTheTray().size(), 2) << "the plain mark and the later icon, and no eyes";
}
