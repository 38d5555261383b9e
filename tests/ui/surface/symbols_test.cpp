#include "ui/surface/symbols.h"

#include "support/test_support.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

const QStringList kSymbols = { "music.note", "doc.on.clipboard", "tray.full", "stopwatch",
    "gauge.with.dots.needle.33percent", "gearshape.fill", "ellipsis", "slider.horizontal.3", "power",
    "battery.100percent.bolt", "powerplug.fill", "battery.0percent", "battery.25percent", "battery.50percent",
    "battery.75percent", "battery.100percent", "bolt.fill", "exclamationmark.triangle.fill", "checkmark.circle.fill",
    "speaker.slash.fill", "speaker.wave.1.fill", "speaker.wave.2.fill", "speaker.wave.3.fill", "headphones", "airpods",
    "hifispeaker.fill", "display", "airplayaudio", "sun.min.fill", "sun.max.fill", "keyboard", "keyboard.fill",
    "magicmouse", "rectangle.and.hand.point.up.left", "dot.radiowaves.left.and.right", "play.fill", "pause.fill",
    "forward.fill", "backward.fill" };

// Draws one symbol on a transparent tile and reports how many pixels it covered, and whether
// every covered pixel carries the tint's hue.
struct Drawn {
    QImage image;
    int covered = 0;
    bool tinted = true;
};

Drawn drawOne(const QString& symbol, const QColor& tint, double fontSize = 20)
{
    Drawn d;
    d.image = QImage(32, 32, QImage::Format_ARGB32_Premultiplied);
    d.image.fill(Qt::transparent);
    {
        QPainter p(&d.image);
        symbols::draw(p, symbol, QRectF(0, 0, 32, 32), fontSize, tint, QFont::DemiBold);
    }
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QColor c = d.image.pixelColor(x, y);
            if (c.alpha() < 128)
                continue;
            ++d.covered;
            if (std::abs(c.red() - tint.red()) > 12 || std::abs(c.green() - tint.green()) > 12
                || std::abs(c.blue() - tint.blue()) > 12)
                d.tinted = false;
        }
    }
    return d;
}

// A sheet of every symbol, for people to look at.
QImage sheet(const QColor& tint, const QColor& background)
{
    const int cols = 9, cell = 36;
    QImage image(cols * cell, ((kSymbols.size() + cols - 1) / cols) * cell, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter p(&image);
    for (int i = 0; i < kSymbols.size(); ++i)
        symbols::draw(p, kSymbols[i], QRectF((i % cols) * cell, (i / cols) * cell, cell, cell), 20, tint);
    return image;
}

} // namespace

TEST(Symbols, EveryNamedSymbolDrawsInItsTint)
{
    for (const QString& symbol : kSymbols) {
        EXPECT_TRUE(symbols::isKnown(symbol)) << symbol.toStdString();
        const Drawn d = drawOne(symbol, QColor(255, 92, 79));
        EXPECT_GT(d.covered, 12) << symbol.toStdString() << " draws almost nothing";
        EXPECT_TRUE(d.tinted) << symbol.toStdString() << " is not in the tint";
    }
    test::saveArtefact(sheet(Qt::white, Qt::black), "symbols-dark");
    test::saveArtefact(sheet(QColor(23, 23, 23), QColor(245, 245, 245)), "symbols-light");
}

TEST(Symbols, InstalledThemeSuppliesTheIconsInEveryTint)
{
    EXPECT_EQ(symbols::iconName("gearshape.fill"), "emblem-system-symbolic");
    EXPECT_EQ(symbols::iconName("speaker.wave.3.fill"), "audio-volume-high-symbolic");
    EXPECT_TRUE(symbols::iconName("tray.full").isEmpty()); // painted
    EXPECT_TRUE(symbols::iconName("no.such.symbol").isEmpty());
    // Recoloured icons are kept for reuse, so two tints of one icon must not come out alike:
    // the second draws in its own tint, not the first one's, and the first again in its own.
    EXPECT_TRUE(drawOne("power", Qt::white).tinted);
    EXPECT_TRUE(drawOne("power", QColor(0, 200, 0)).tinted);
    EXPECT_TRUE(drawOne("power", Qt::white).tinted);
}

TEST(Symbols, MissingThemeFallsBackToPaintedGlyphs)
{
    const QString theme = QIcon::themeName();
    const QString fallback = QIcon::fallbackThemeName();
    QIcon::setThemeName("nimbra-no-such-theme");
    QIcon::setFallbackThemeName("nimbra-no-such-theme");
    for (const QString& symbol : kSymbols) {
        EXPECT_TRUE(symbols::iconName(symbol).isEmpty()) << symbol.toStdString();
        EXPECT_GT(drawOne(symbol, Qt::white).covered, 6) << symbol.toStdString();
    }
    EXPECT_GT(drawOne("no.such.symbol", Qt::white).covered, 6);
    test::saveArtefact(sheet(Qt::white, Qt::black), "symbols-without-theme");
    QIcon::setThemeName(theme);
    QIcon::setFallbackThemeName(fallback);
}

TEST(Symbols, OutputAndKeyboardSymbolsPaintTheirOwnShapeWithoutATheme)
{
    const QString theme = QIcon::themeName();
    const QString fallback = QIcon::fallbackThemeName();
    QIcon::setThemeName("nimbra-no-such-theme");
    QIcon::setFallbackThemeName("nimbra-no-such-theme");
    // The inked extent of a tile: a neutral dot is a small round blob in the middle.
    const auto extent = [](const QImage& image) {
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).alpha() >= 128)
                    box |= QRect(x, y, 1, 1);
        return box;
    };
    const Drawn dot = drawOne("no.such.symbol", Qt::white);
    const QRect dotBox = extent(dot.image);
    const QStringList painted = { "headphones", "airpods", "display", "keyboard", "keyboard.fill" };
    QImage strip(painted.size() * 36, 36, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::black);
    QPainter sheetPainter(&strip);
    QList<QImage> seen;
    for (int i = 0; i < painted.size(); ++i) {
        const Drawn d = drawOne(painted[i], Qt::white);
        const QRect box = extent(d.image);
        EXPECT_GE(std::max(box.width(), box.height()), dotBox.width() + 6) << painted[i].toStdString();
        EXPECT_GT(d.covered, dot.covered) << painted[i].toStdString();
        EXPECT_NE(d.image, dot.image) << painted[i].toStdString();
        for (const QImage& other : seen)
            EXPECT_NE(d.image, other) << painted[i].toStdString() << " looks like another symbol";
        seen << d.image;
        sheetPainter.drawImage(i * 36 + 2, 2, d.image);
    }
    sheetPainter.end();
    test::saveArtefact(strip, "symbols-outputs-painted");
    QImage large(painted.size() * 80, 80, QImage::Format_ARGB32_Premultiplied);
    large.fill(Qt::black);
    {
        QPainter p(&large);
        for (int i = 0; i < painted.size(); ++i)
            symbols::draw(p, painted[i], QRectF(i * 80, 0, 80, 80), 60, Qt::white);
    }
    test::saveArtefact(large, "symbols-outputs-painted-large");
    QIcon::setThemeName(theme);
    QIcon::setFallbackThemeName(fallback);
}
