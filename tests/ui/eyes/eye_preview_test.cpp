#include "ui/eyes/eye_preview.h"

#include "support/test_support.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

TEST(EyePreviewLayout, BarAndEyesScaleWithThePreview)
{
    const EyePreview::Layout standard(QSizeF(520, 132), EyeStyle {});
    EXPECT_NEAR(standard.barHeight, 25.08, 1e-9);
    EXPECT_NEAR(standard.diameter, 20.52, 1e-9);
    EXPECT_EQ(EyePreview::Layout(QSizeF(520, 115), EyeStyle {}).barHeight, 22);

    EyeStyle large;
    large.diameter = 30;
    EXPECT_NEAR(EyePreview::Layout(QSizeF(520, 132), large).diameter, 25.08, 1e-9);
    EyeStyle tiny;
    tiny.diameter = 1;
    EXPECT_EQ(EyePreview::Layout(QSizeF(520, 132), tiny).diameter, 6);
}

TEST(EyePreviewLids, BlinksAndClicksFollowFixedRhythms)
{
    EyeStyle still;
    still.blinks = false;
    still.reactsToClicks = false;
    for (double t = 0; t < 20; t += 0.01) {
        const auto [left, right] = EyePreview::lidAmounts(t, still, 3.2);
        ASSERT_EQ(left, 0);
        ASSERT_EQ(right, 0);
    }

    EyeStyle both;
    both.blinks = false;
    both.clickBlink = ClickBlink::both;
    const auto together = EyePreview::lidAmounts(3.2 * 5 + 0.08, both, 3.2);
    EXPECT_NEAR(together.first, 1, 1e-6);
    EXPECT_NEAR(together.second, 1, 1e-6);

    // One side at a time, left on even clicks and right on odd ones.
    EyeStyle sides;
    sides.blinks = false;
    const auto even = EyePreview::lidAmounts(3.2 * 4 + 0.04, sides, 3.2);
    EXPECT_NEAR(even.first, 0.5, 1e-6);
    EXPECT_EQ(even.second, 0);
    const auto odd = EyePreview::lidAmounts(3.2 * 5 + 0.04, sides, 3.2);
    EXPECT_EQ(odd.first, 0);
    EXPECT_NEAR(odd.second, 0.5, 1e-6);

    // Blinks every mean interval of the style's range.
    EyeStyle blinking;
    blinking.reactsToClicks = false;
    const auto range = blinking.blinkRange();
    const double c = (range.lower + range.upper) / 2;
    EXPECT_NEAR(EyePreview::lidAmounts(c * 3 + 0.08, blinking, 3.2).first, 1, 1e-6);
    EXPECT_EQ(EyePreview::lidAmounts(c * 3 + 0.5, blinking, 3.2).first, 0);
}

TEST(EyePreviewFrame, ShowsTheBarTheNotchTheEyesAndThePointer)
{
    const QSizeF size(640, 132);
    QImage image(size.toSize() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    EyeStyle style;
    style.blinks = false;
    style.reactsToClicks = false;
    {
        QPainter painter(&image);
        EyePreview::paintFrame(painter, size, 1.0, style, QStringLiteral("Mon 7 Dec  09:41"));
    }
    saveArtefact(image, "eye-preview");
    const auto px = [&](double x, double y) { return image.pixelColor(QPointF(x * 2, y * 2).toPoint()); };
    // The notch is black at the top centre; the bar is darker than the desktop below it.
    EXPECT_EQ(px(320, 3), QColor(Qt::black));
    EXPECT_LT(px(200, 12).lightness(), px(200, 40).lightness());
    // The eyes sit in the bar, left of the icons: white sclera somewhere in their row.
    const EyePreview::Layout layout(size, style);
    int white = 0;
    for (double x = 330; x < 640; x += 0.5) {
        const QColor c = px(x, layout.barHeight / 2 + layout.diameter * 0.4);
        white += c.red() > 235 && c.green() > 235 && c.blue() > 235;
    }
    EXPECT_GT(white, 10);
    // The pointer is drawn where the loop puts it.
    const QPointF cursor = EyePreview::pointerAt(1.0, size, layout.barHeight, EyePreview::defaultPeriod);
    int bright = 0;
    for (int dx = -6; dx <= 6; ++dx)
        for (int dy = -6; dy <= 6; ++dy)
            bright += px(cursor.x() + dx, cursor.y() + dy).lightness() > 240;
    EXPECT_GT(bright, 4);
}

TEST(EyePreviewFrame, ThePanelIsAnyDesktopsWithNoVendorsMarkAndNoGlobalMenu)
{
    const QSizeF size(640, 132);
    QImage image(size.toSize() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        EyePreview::paintFrame(painter, size, 1.0, EyeStyle {}, QStringLiteral("Mon 7 Dec  09:41"));
    }
    const EyePreview::Layout layout(size, EyeStyle {});
    // Light marks drawn in the panel between two places.
    const auto marks = [&](double from, double to) {
        int count = 0;
        for (int y = 0; y < int(layout.barHeight * 2); ++y) {
            for (int x = int(from * 2); x < int(to * 2); ++x)
                count += image.pixelColor(x, y).lightness() > 160;
        }
        return count;
    };
    // At the left edge the applications mark, and nothing after it up to the notch.
    const double mark = 0.4 * layout.barHeight + layout.barHeight * 0.6;
    EXPECT_GT(marks(0, mark), 10);
    EXPECT_EQ(marks(mark + 2, (size.width() - layout.notchWidth) / 2), 0);
}

TEST(EyePreviewFrame, AnimatesOnlyWhileShown)
{
    EyePreview preview(EyeStyle {});
    EXPECT_FALSE(preview.isAnimating());
    preview.resize(520, 132);
    preview.show();
    EXPECT_TRUE(preview.isAnimating());
    preview.hide();
    EXPECT_FALSE(preview.isAnimating());
}

TEST(EyePreviewFrame, ANarrowPreviewLeavesIconsOutRatherThanHideTheEyes)
{
    EyeStyle style;
    style.blinks = false;
    style.reactsToClicks = false;
    // The white of the eyes in the bar, at the width of the settings page and at a wide one.
    const auto sclera = [&](double width) {
        const QSizeF size(width, 132);
        QImage image(size.toSize() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            EyePreview::paintFrame(painter, size, 1.0, style, QStringLiteral("Mon 7 Dec  09:41"));
        }
        saveArtefact(image, QString("eye-preview-%1").arg(int(width)));
        const EyePreview::Layout layout(size, style);
        int white = 0;
        for (int y = 0; y < int(layout.barHeight * 2); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                white += c.red() > 235 && c.green() > 235 && c.blue() > 235;
            }
        }
        // The notch is still there, black at the top centre.
        EXPECT_EQ(image.pixelColor(int(width), 4), QColor(Qt::black)) << width;
        return white;
    };
    const int wide = sclera(640);
    const int narrow = sclera(468);
    EXPECT_GT(wide, 400);
    EXPECT_GT(narrow, wide * 9 / 10);
}

namespace {

// The menu bar of one frame (the pointer never enters it), still eyes that only look.
QImage barAt(double t, double followSpeed, const QString& clock = QStringLiteral("Mon 7 Dec  09:41"))
{
    const QSizeF size(900, 132);
    EyeStyle style;
    style.blinks = false;
    style.reactsToClicks = false;
    style.followSpeed = followSpeed;
    QImage image(size.toSize() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        EyePreview::paintFrame(painter, size, t, style, clock);
    }
    return image.copy(0, 0, image.width(), int(EyePreview::Layout(size, style).barHeight * 2) - 2);
}

// The left edge of the eyes' white in the bar right of the notch, in device pixels.
int firstWhite(const QImage& bar)
{
    const int y = bar.height() / 2 + 6;
    for (int x = int(bar.width() * (0.5 + 0.17 / 2)); x < bar.width(); ++x) {
        const QColor c = bar.pixelColor(x, y);
        if (c.red() > 235 && c.green() > 235 && c.blue() > 235)
            return x;
    }
    return -1;
}

} // namespace

// The eyes look where the pointer was a moment ago: at follow speed 1 where it is, at 0 where it
// was 0.45 s before, in between in proportion.
TEST(EyePreviewFrame, SlowerEyesLookWhereThePointerWasLonger)
{
    const double t = 2.0;
    EXPECT_NE(barAt(t, 0), barAt(t, 1)) << "the pointer moved in those 0.45 s";
    EXPECT_EQ(barAt(t, 0), barAt(t - 0.45, 1));
    EXPECT_EQ(barAt(t, 0.5), barAt(t - 0.225, 1));
}

TEST(EyePreviewFrame, ALongerClockMovesTheEyesLeft)
{
    const int shortClock = firstWhite(barAt(1, 1));
    const int longClock = firstWhite(barAt(1, 1, QStringLiteral("Wednesday 17 December  09:41")));
    ASSERT_GT(shortClock, 0);
    ASSERT_GT(longClock, 0);
    EXPECT_LT(longClock, shortClock - 40);
}
