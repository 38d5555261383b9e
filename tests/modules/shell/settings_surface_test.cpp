#include "modules/shell/settings_surface.h"

#include "modules/surface_stage.h"

#include <QAbstractButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

TEST(SettingsSurface, TwoButtonsCallTheirActions)
{
    Stage stage(NotchTheme::dark(), { 360, 92 });
    int opened = 0, quit = 0;
    auto* surface = stage.make<SettingsSurface>(
        SurfaceMetrics(QSizeF(360, 124), 32, 185), [&] { ++opened; }, [&] { ++quit; });
    EXPECT_EQ(surface->settingsButton()->text(), "Settings");
    EXPECT_EQ(surface->quitButton()->text(), "Quit");
    QTest::mouseClick(surface->settingsButton(), Qt::LeftButton, {}, QPoint(3, 3)); // the corner counts too
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(quit, 0);
    QTest::mouseClick(surface->quitButton(), Qt::LeftButton);
    EXPECT_EQ(quit, 1);

    // Missing callbacks are harmless.
    surface->onQuit = nullptr;
    QTest::mouseClick(surface->quitButton(), Qt::LeftButton);
}

TEST(SettingsSurface, ButtonsScaleAndSitCentredOnTheirWells)
{
    struct Case {
        const char* name;
        SurfaceMetrics m;
        NotchTheme theme;
        QSize button;
    };
    const NotchTheme light { false, ClockFont::lockScreen };
    for (const Case& c :
        { Case { "reference", SurfaceMetrics(QSizeF(360, 124), 32, 185), NotchTheme::dark(), { 84, 50 } },
            Case { "light", SurfaceMetrics(QSizeF(360, 124), 32, 185), light, { 84, 50 } },
            Case { "smallest", SurfaceMetrics(QSizeF(240, 90), 32, 185), NotchTheme::dark(), { 67, 40 } },
            Case { "largest", SurfaceMetrics(QSizeF(1000, 360), 32, 185), NotchTheme::dark(), { 185, 110 } } }) {
        const QSizeF band(c.m.size().width(), c.m.contentHeight());
        Stage stage(c.theme, band);
        auto* surface = stage.make<SettingsSurface>(c.m, nullptr, nullptr);
        EXPECT_EQ(surface->settingsButton()->size(), c.button) << c.name;
        const QRect pair = surface->settingsButton()->geometry().united(surface->quitButton()->geometry());
        EXPECT_NEAR(pair.center().x(), band.width() / 2, 1.5) << c.name;
        EXPECT_NEAR(pair.center().y(), (band.height() - c.m.space(12)) / 2, 1.5) << c.name;
        EXPECT_EQ(surface->quitButton()->x() - surface->settingsButton()->geometry().right() - 1, c.m.space(9))
            << c.name;

        const QImage image = stage.render();
        saveArtefact(image, QString("settings-surface-%1").arg(c.name));
        // The well shows at the button's left edge, halfway down; the label in primary text inside.
        const QRect b = surface->settingsButton()->geometry();
        EXPECT_TRUE(near(pixelAt(image, b.left() + 2, b.center().y()), over(c.theme.well(0.1), c.theme.surface()), 4))
            << c.name;
        QColor label = c.theme.primaryText();
        label.setAlphaF(0.9f);
        EXPECT_GT(countNear(image, b, over(label, over(c.theme.well(0.1), c.theme.surface())), 24), 10) << c.name;
    }
}
