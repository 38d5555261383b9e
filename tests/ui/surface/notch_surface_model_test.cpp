#include "ui/surface/notch_surface_model.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

NotchGeometry geometryWithNotch(double width, double height)
{
    // A hardware notch of the given size, centred on a 1512-point screen.
    const double x = 756 - width / 2;
    return NotchGeometry(DisplayMetrics { QRectF(0, 0, 1512, 982), QRectF(0, 0, 1512, 950), height,
        QRectF(0, 950, x, 32), QRectF(x + width, 950, 1512 - x - width, 32) });
}

// A screen of that size without a camera housing, whose notch is synthesized under a 24-point bar.
NotchGeometry plainScreen(double width, double height)
{
    return NotchGeometry(DisplayMetrics {
        QRectF(0, 0, width, height), QRectF(0, 0, width, height - 24), 0, std::nullopt, std::nullopt });
}

Activity volume()
{
    return Activity { ModuleID(QStringLiteral("systemLevel")), 1, 40, 2, ActivityCategory::volume };
}

} // namespace

TEST(NotchSurfaceModel, SizesFollowTheSurface)
{
    NotchSurfaceModel model(geometryWithNotch(180, 32), {});
    ASSERT_EQ(model.geometry().kind(), NotchGeometry::Kind::hardware);
    // Dormant: the notch itself, with the collapsed flares.
    EXPECT_EQ(model.bodySize(), QSizeF(180, 32));
    EXPECT_EQ(model.outerSize(), QSizeF(192, 32));
    EXPECT_TRUE(model.isHidden());

    model.setSurface(Presentation::Surface::activity(volume()));
    EXPECT_EQ(model.bodySize(), QSizeF(228, 78));
    EXPECT_EQ(model.shape(), NotchShape::collapsed);
    model.setSurface(Presentation::Surface::resident(ModuleID(QStringLiteral("nowPlaying"))));
    EXPECT_EQ(model.bodySize(), QSizeF(228, 78));

    model.setSurface(Presentation::Surface::expanded(ModuleID(QStringLiteral("glance"))));
    EXPECT_TRUE(model.isExpanded());
    EXPECT_EQ(model.shape(), NotchShape::expanded);
    EXPECT_EQ(model.bodySize(), QSizeF(360, 124));
    EXPECT_EQ(model.outerSize(), QSizeF(396, 124));
    const SurfaceContext context = model.context();
    EXPECT_EQ(context.size, QSizeF(360, 124));
    EXPECT_EQ(context.notchHeight, 32);
    EXPECT_EQ(context.notchWidth, 180);
}

TEST(NotchSurfaceModel, TallNotchAndNoExtraWidth)
{
    NotchSurfaceModel model(geometryWithNotch(200, 90), {});
    LayoutMetrics layout;
    layout.activityExtraWidth = 0;
    model.setLayout(layout);
    model.setSurface(Presentation::Surface::activity(volume()));
    // The notch is taller than an activity readout: it keeps its height, and is exactly as wide.
    EXPECT_EQ(model.bodySize(), QSizeF(200, 90));
    EXPECT_EQ(model.outerSize(), QSizeF(212, 90));
}

TEST(NotchSurfaceModel, NotifiesOnlyOnRealChanges)
{
    NotchSurfaceModel model(geometryWithNotch(180, 32), {});
    QSignalSpy surface(&model, &NotchSurfaceModel::surfaceChanged);
    QSignalSpy theme(&model, &NotchSurfaceModel::themeChanged);
    QSignalSpy layout(&model, &NotchSurfaceModel::layoutChanged);
    QSignalSpy geometry(&model, &NotchSurfaceModel::geometryChanged);
    QSignalSpy revision(&model, &NotchSurfaceModel::contentRevisionChanged);

    model.setSurface(Presentation::Surface::dormant());
    model.setTheme(model.theme());
    model.setLayout(LayoutMetrics::defaults());
    model.setGeometry(model.geometry());
    EXPECT_EQ(surface.count() + theme.count() + layout.count() + geometry.count(), 0);

    model.setSurface(Presentation::Surface::activity(volume()));
    model.setSurface(Presentation::Surface::activity(volume()));
    EXPECT_EQ(surface.count(), 1);
    Activity newer = volume();
    newer.token = 2;
    model.setSurface(Presentation::Surface::activity(newer));
    EXPECT_EQ(surface.count(), 2);

    NotchTheme light = model.theme();
    light.isDark = false;
    model.setTheme(light);
    model.setTheme(light);
    EXPECT_EQ(theme.count(), 1);

    // The revision counter always notifies: it exists to force a rebuild.
    model.incrementContentRevision();
    model.incrementContentRevision();
    EXPECT_EQ(revision.count(), 2);
    EXPECT_EQ(model.contentRevision(), 2u);
}

TEST(NotchSurfaceModel, ASurfaceWiderThanItsScreenIsNarrowedToFitFlaresAndAll)
{
    // A 320-point screen: narrower than the expanded surface (360 + 36 of flares).
    NotchSurfaceModel model(plainScreen(320, 240), {});
    model.setSurface(Presentation::Surface::expanded(ModuleID(QStringLiteral("glance"))));
    EXPECT_EQ(model.outerSize(), QSizeF(320, 124));
    EXPECT_EQ(model.context().size, QSizeF(284, 124));

    // A readout wider than its screen narrows too (120 + 180 + 12 on 300 points); on a wide
    // screen nothing changes.
    LayoutMetrics wide;
    wide.activityExtraWidth = 180;
    model.setLayout(wide);
    model.setGeometry(plainScreen(300, 240));
    model.setSurface(Presentation::Surface::activity(volume()));
    EXPECT_EQ(model.outerSize(), QSizeF(300, 78));
    model.setGeometry(plainScreen(7680, 4320));
    EXPECT_EQ(model.outerSize(), QSizeF(170 + 180 + 12, 78));
}
