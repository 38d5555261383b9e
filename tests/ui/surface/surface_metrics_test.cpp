#include "ui/surface/surface_metrics.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {
SurfaceMetrics metrics(double w, double h, double notchHeight = 32, double notchWidth = 185)
{
    return SurfaceMetrics(QSizeF(w, h), notchHeight, notchWidth);
}
} // namespace

TEST(SurfaceMetrics, ReferenceSurfaceIsUnscaled)
{
    const SurfaceMetrics m = metrics(360, 124);
    EXPECT_DOUBLE_EQ(m.scale(), 1.0);
    EXPECT_EQ(m.font(13), 13);
    EXPECT_EQ(m.detail(), SurfaceMetrics::Detail::standard);
    EXPECT_DOUBLE_EQ(m.contentHeight(), 92);
    EXPECT_NEAR(m.sidePadding(), 19.8, 1e-9);
    EXPECT_FALSE(m.isNarrow());
    EXPECT_DOUBLE_EQ(m.stripWidth(), 87.5);
}

TEST(SurfaceMetrics, GrowthIsDampedAndClampedAtBothEnds)
{
    const SurfaceMetrics doubled = metrics(720, 216);
    EXPECT_NEAR(doubled.scale(), std::pow(2.0, 0.85), 1e-9);
    EXPECT_EQ(doubled.font(13), 23);

    const SurfaceMetrics small = metrics(200, 60);
    EXPECT_DOUBLE_EQ(small.scale(), 0.8);
    EXPECT_EQ(small.font(13), 10);
    EXPECT_EQ(small.detail(), SurfaceMetrics::Detail::minimal);
    EXPECT_TRUE(small.isNarrow());

    EXPECT_DOUBLE_EQ(metrics(5000, 5000).scale(), 2.2);
    // The smaller of the two ratios decides: wide but short stays small.
    EXPECT_DOUBLE_EQ(metrics(2000, 80).scale(), 0.8);
}

TEST(SurfaceMetrics, DegenerateSizesStayOnTheFloor)
{
    for (double w : { 0.0, -50.0, std::nan("") }) {
        const SurfaceMetrics m = metrics(w, 124);
        EXPECT_DOUBLE_EQ(m.scale(), 0.8) << w;
        EXPECT_DOUBLE_EQ(m.sidePadding(), 10) << w;
        EXPECT_GE(m.navPitch(3), 0) << w;
    }
    const SurfaceMetrics shorter = metrics(360, 20);
    EXPECT_DOUBLE_EQ(shorter.contentHeight(), 0);
    EXPECT_EQ(shorter.detail(), SurfaceMetrics::Detail::minimal);
}

TEST(SurfaceMetrics, DetailBands)
{
    EXPECT_EQ(metrics(360, 32 + 65.9).detail(), SurfaceMetrics::Detail::minimal);
    EXPECT_EQ(metrics(360, 32 + 66).detail(), SurfaceMetrics::Detail::standard);
    EXPECT_EQ(metrics(360, 32 + 117.9).detail(), SurfaceMetrics::Detail::standard);
    EXPECT_EQ(metrics(360, 32 + 118).detail(), SurfaceMetrics::Detail::rich);
    EXPECT_LT(SurfaceMetrics::Detail::minimal, SurfaceMetrics::Detail::rich);
    EXPECT_EQ(SurfaceMetrics::detailFromRawValue(2), SurfaceMetrics::Detail::rich);
    EXPECT_EQ(SurfaceMetrics::detailFromRawValue(3), std::nullopt);
    EXPECT_EQ(SurfaceMetrics::detailFromRawValue(-1), std::nullopt);
    EXPECT_EQ(SurfaceMetrics::rawValue(SurfaceMetrics::Detail::standard), 1);
}

TEST(SurfaceMetrics, SidePaddingClampsAtTenAndForty)
{
    EXPECT_DOUBLE_EQ(metrics(150, 124).sidePadding(), 10);
    EXPECT_DOUBLE_EQ(metrics(181, 124).sidePadding(), 10);
    EXPECT_GT(metrics(182, 124).sidePadding(), 10);
    EXPECT_LT(metrics(727, 124).sidePadding(), 40);
    EXPECT_DOUBLE_EQ(metrics(728, 124).sidePadding(), 40);
    EXPECT_DOUBLE_EQ(metrics(1000, 124).sidePadding(), 40);
}

TEST(SurfaceMetrics, NavPitchSharesTheStripUnderACap)
{
    const SurfaceMetrics reference = metrics(360, 124);
    EXPECT_EQ(reference.navPitch(0), 0);
    EXPECT_EQ(reference.navPitch(-2), 0);
    EXPECT_DOUBLE_EQ(reference.navPitch(4), 18.375);

    const SurfaceMetrics wide = metrics(700, 200);
    EXPECT_NEAR(wide.navPitch(2), 34 * wide.scale(), 1e-9);
    EXPECT_NEAR(wide.navPitch(2), 56.72, 0.01);

    // A strip narrower than its margin never gives a negative pitch.
    EXPECT_EQ(metrics(200, 124, 32, 190).navPitch(2), 0);
}

TEST(SurfaceMetrics, RoundingIsHalfAwayFromZeroAndContextPassesValuesThrough)
{
    const SurfaceMetrics small = metrics(100, 40); // scale 0.8
    EXPECT_EQ(small.size(11.5), 9); // 9.2
    EXPECT_EQ(small.size(22), 18); // 17.6
    EXPECT_EQ(small.space(-2.5), -2); // -2.0 exactly
    EXPECT_EQ(metrics(360, 124).size(2.5), 3);

    const SurfaceContext context { QSizeF(500, 180), 30, 200 };
    EXPECT_EQ(context.metrics(), SurfaceMetrics(QSizeF(500, 180), 30, 200));
    EXPECT_EQ(context.metrics().size(), QSizeF(500, 180));
    EXPECT_FALSE(context == (SurfaceContext { QSizeF(500, 180), 31, 200 }));
}
