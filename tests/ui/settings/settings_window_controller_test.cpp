#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"
#include "ui/settings/settings_window_controller.h"

#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

struct Controller : ::testing::Test {
    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    int summaries = 0;
    int geometries = 0;
    int levelReads = 0;
    bool desktopDark = false;
    SettingsWindowController controller {
        settings,
        [this] {
            ++summaries;
            return QStringLiteral("pill 120×24px");
        },
        [](bool) {},
        [](bool) { return false; },
        [] { return true; },
        [] {},
        [this]() -> std::optional<NotchGeometry> {
            ++geometries;
            return std::nullopt;
        },
        [this] {
            ++levelReads;
            return LiveLevels {};
        },
    };

    Controller()
    {
        controller.systemIsDark = [this] { return desktopDark; };
    }
};

bool paletteIsDark(const QWidget* window)
{
    return settings_style::isDark(window->palette());
}

} // namespace

TEST_F(Controller, BuildsNoWindowBeforeTheFirstShowAndOneWindowAfterwards)
{
    EXPECT_EQ(controller.window(), nullptr);
    controller.applyAppearanceNow(); // nothing to apply to yet
    EXPECT_EQ(controller.window(), nullptr);

    controller.show();
    QPointer<QWidget> window = controller.window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "Nimbra Settings");
    EXPECT_EQ(window->size(), QSize(760, 540));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(geometries, 1);
    EXPECT_EQ(levelReads, 1);

    // A page chosen before goes back to the start page on the next show.
    QPointer<SettingsView> first = controller.view();
    first->select(SettingsSection::priority);
    controller.show();
    EXPECT_EQ(controller.window(), window.data());
    EXPECT_FALSE(first); // replaced, not kept beside the new one
    EXPECT_EQ(controller.view()->selection(), SettingsSection::general);
    EXPECT_EQ(controller.viewsBuilt(), 2);
    EXPECT_EQ(summaries, 2);
}

TEST_F(Controller, ClosingHidesTheSameWindowWhichComesBackWhereItWas)
{
    controller.show();
    QPointer<QWidget> window = controller.window();
    window->move(40, 30);
    const QPoint where = window->pos();
    EXPECT_TRUE(window->close());
    QApplication::processEvents();
    ASSERT_TRUE(window); // kept, only hidden
    EXPECT_FALSE(window->isVisible());
    controller.show();
    EXPECT_EQ(controller.window(), window.data());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), where);
}

TEST_F(Controller, CtrlWClosesTheWindow)
{
    controller.show();
    QWidget* window = controller.window();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keySequence(window, QKeySequence::Close);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(controller.window(), window);
}

TEST_F(Controller, AppearanceFollowsTheSettingAndOnAutoTheDesktop)
{
    controller.show();
    QWidget* window = controller.window();
    EXPECT_FALSE(paletteIsDark(window));
    settings.setAppearance(Appearance::dark);
    controller.applyAppearanceNow();
    EXPECT_TRUE(paletteIsDark(window));
    EXPECT_TRUE(controller.view()->previewTheme().isDark);

    settings.setAppearance(Appearance::system);
    desktopDark = true;
    controller.applyAppearanceNow();
    EXPECT_TRUE(paletteIsDark(window));
    desktopDark = false;
    controller.applyAppearanceNow();
    EXPECT_FALSE(paletteIsDark(window));
    EXPECT_FALSE(controller.view()->previewTheme().isDark);

    settings.setAppearance(Appearance::light);
    desktopDark = true;
    controller.applyAppearanceNow();
    EXPECT_FALSE(paletteIsDark(window));
    // Every widget of the window draws with the Fusion style.
    EXPECT_EQ(controller.view()->sidebar()->style(), settings_style::fusion());
}
