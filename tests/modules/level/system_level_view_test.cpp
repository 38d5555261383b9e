#include "modules/level/system_level_view.h"
#include "ui/surface/level_readout.h"

#include "modules/surface_stage.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {
SystemLevel brightness(double value)
{
    return SystemLevel(SystemLevel::Kind::brightness, value, false, true, std::nullopt);
}
} // namespace

TEST(SystemLevelView, PadsTheReadoutBySidePadding)
{
    struct Case {
        double width;
        int padding;
    };
    for (const Case& c : { Case { 360, 20 }, Case { 150, 10 }, Case { 1000, 40 } }) {
        Stage stage(NotchTheme::dark(), { c.width, 40 });
        auto* view = stage.make<SystemLevelView>(brightness(0.4), SurfaceMetrics(QSizeF(c.width, 72), 32, 185));
        ASSERT_TRUE(waitUntil([&] { return !view->readout()->isHidden() && view->readout()->x() == c.padding; }, 2000))
            << c.width;
        EXPECT_EQ(view->readout()->width(), c.width - 2 * c.padding) << c.width;
    }
}

TEST(SystemLevelView, LandsIntoTheCentreAndFadesIn)
{
    const SurfaceMetrics m(QSizeF(360, 72), 32, 185);
    // Never shown: nothing has landed and nothing is drawn.
    QWidget offstage;
    setNotchTheme(&offstage, NotchTheme::dark());
    offstage.resize(360, 40);
    auto* waiting = new SystemLevelView(brightness(0.6), m, &offstage);
    waiting->resize(360, 40);
    EXPECT_FALSE(waiting->isLanded());
    QImage before(360, 40, QImage::Format_ARGB32_Premultiplied);
    before.fill(Qt::black);
    waiting->render(&before, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(countNear(before, QRectF(0, 0, 360, 40), Qt::white, 60), 0);

    Stage stage(NotchTheme::dark(), { 360, 40 });
    auto* view = stage.make<SystemLevelView>(brightness(0.6), m);
    EXPECT_TRUE(view->isLanded());
    EXPECT_TRUE(view->isAnimating());
    ASSERT_TRUE(waitUntil([&] { return !view->isAnimating(); }, 2000));
    EXPECT_NEAR(view->readout()->y(), (40 - view->readout()->height()) / 2.0, 0.5);
    const QImage landed = stage.render();
    saveArtefact(landed, "system-level-brightness");
    EXPECT_GT(countNear(landed, QRectF(0, 0, 360, 40), Qt::white, 30), 100);

    // A newer reading moves the bar but does not land again.
    view->setLevel(brightness(0.9));
    EXPECT_EQ(view->level().value, 0.9);
    EXPECT_TRUE(view->isLanded());
}

TEST(SystemLevelView, ReadoutsAtEveryScale)
{
    struct Case {
        const char* name;
        QSizeF size;
        NotchTheme theme;
        SystemLevel level;
    };
    const NotchTheme light { false, ClockFont::lockScreen };
    const SystemLevel muted(SystemLevel::Kind::volume, 0.4, true, true, std::nullopt);
    const SystemLevel keyboard(SystemLevel::Kind::keyboardBacklight, 0, false, false, std::nullopt);
    for (const Case& c : { Case { "reference", { 360, 124 }, NotchTheme::dark(), brightness(0.7) },
             Case { "smallest-muted", { 240, 64 }, NotchTheme::dark(), muted },
             Case { "largest", { 900, 320 }, NotchTheme::dark(), brightness(0.3) },
             Case { "light-no-control", { 360, 124 }, light, keyboard } }) {
        const SurfaceMetrics m(c.size, 32, 185);
        Stage stage(c.theme, QSizeF(c.size.width(), c.size.height() - 32));
        auto* view = stage.make<SystemLevelView>(c.level, m);
        ASSERT_TRUE(waitUntil([&] { return !view->isAnimating(); }, 2000));
        const QImage image = stage.render();
        saveArtefact(image, QString("system-level-%1").arg(c.name));
        EXPECT_GT(countNear(image, QRectF(QPointF(0, 0), stage.host.size()), c.theme.primaryText(), 30), 40) << c.name;
    }
}
