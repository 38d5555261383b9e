#include "ui/eyes/eye_preview.h"

#include "ui/eyes/googly_eyes.h"
#include "ui/surface/notch_shape.h"
#include "ui/surface/symbols.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace nimbra {

namespace {

constexpr double referenceDate = 978307200; // 2001-01-01T00:00:00Z in Unix seconds
constexpr double blinkLength = BlinkClock::duration;

// The blink curve: closes in 0.08 s, opens in 0.08 s.
double blinkCurve(double p)
{
    if (p < 0 || p >= blinkLength)
        return 0;
    return p < 0.08 ? p / 0.08 : 1 - (p - 0.08) / 0.08;
}

QFont barFont(double size, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(std::max(1, int(std::lround(size))));
    font.setWeight(weight);
    return font;
}

} // namespace

EyePreview::Layout::Layout(QSizeF size, const EyeStyle& style)
{
    barHeight = std::max(0.19 * size.height(), 22.0);
    const double b = barHeight;
    diameter = std::clamp(b * style.diameter / 22, 6.0, b);
    gap = std::clamp(0.6 * diameter * style.separation, 1.0, 10.0);
    notchWidth = 0.17 * size.width();
    travel = diameter / 2 - 0.46 * diameter / 2 - 0.06 * diameter;
}

EyePreview::EyePreview(const EyeStyle& style, double period, double clickEvery, QWidget* parent)
    : QWidget(parent)
    , m_style(style)
    , m_period(period)
    , m_clickEvery(clickEvery)
{
    setFixedHeight(int(height));
    setMinimumWidth(320);
    // At most 30 frames a second: a whole 34 ms between frames, on a timer that never fires early.
    m_frames.setTimerType(Qt::PreciseTimer);
    m_frames.setInterval(34);
    connect(&m_frames, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void EyePreview::setStyle(const EyeStyle& style)
{
    m_style = style;
    update();
}

QPointF EyePreview::pointerAt(double s, QSizeF size, double barHeight, double period)
{
    const double theta = 2 * std::numbers::pi * s / period;
    return { size.width() * (0.5 + 0.42 * std::cos(theta)),
        barHeight + (size.height() - barHeight) * (0.52 + 0.4 * std::sin(1.6 * theta)) };
}

std::pair<double, double> EyePreview::lidAmounts(double t, const EyeStyle& style, double clickEvery)
{
    double b = 0;
    if (style.blinks) {
        const ClosedRange<double> range = style.blinkRange();
        const double c = (range.lower + range.upper) / 2;
        b = blinkCurve(std::fmod(t, c));
    }
    if (!style.reactsToClicks)
        return { b, b };
    const double w = std::max(b, blinkCurve(std::fmod(t, clickEvery)));
    if (style.clickBlink == ClickBlink::both)
        return { w, w };
    const auto click = static_cast<long long>(t / clickEvery);
    return click % 2 == 0 ? std::pair { w, b } : std::pair { b, w };
}

QString EyePreview::clockText()
{
    return QLocale().toString(QDateTime::currentDateTime(), QStringLiteral("ddd d MMM  HH:mm"));
}

double EyePreview::now()
{
    return QDateTime::currentMSecsSinceEpoch() / 1000.0 - referenceDate;
}

void EyePreview::paintFrame(QPainter& painter, QSizeF size, double t, const EyeStyle& style, const QString& clock,
    double period, double clickEvery)
{
    const Layout layout(size, style);
    const double w = size.width(), h = size.height(), b = layout.barHeight;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // The desktop.
    QLinearGradient desktop(QPointF(0, 0), QPointF(w, h));
    desktop.setColorAt(0, QColor::fromRgbF(0.30f, 0.40f, 0.52f));
    desktop.setColorAt(1, QColor::fromRgbF(0.55f, 0.47f, 0.38f));
    painter.fillRect(QRectF(0, 0, w, h), desktop);

    // A desktop's top panel, of no desktop in particular.
    painter.fillRect(QRectF(0, 0, w, b), QColor::fromRgbF(0, 0, 0, 0.3f));
    const double pad = 0.4 * b;
    const double fontSize = 0.8 * 0.42 * b;
    QColor ink(Qt::white);
    ink.setAlphaF(0.92f);
    const double icon = symbols::side(fontSize);

    // Left: the mark that opens the applications.
    symbols::draw(painter, QStringLiteral("square.grid.3x3"), QRectF(pad, (b - icon) / 2, icon, icon), fontSize, ink);

    // Right, laid out from the right edge: the clock, the status icons and, in the tray beside
    // them, the eyes. Where the preview is too narrow for all of them beside the notch, icons are
    // left out (the network first) rather than the eyes going under the notch: they are what it
    // shows.
    const double spacing = 0.34 * b;
    const QFont font = barFont(fontSize, QFont::Normal);
    painter.setFont(font);
    painter.setPen(ink);
    const double clockWidth = QFontMetricsF(font).horizontalAdvance(clock);
    GooglyEyes eyes;
    eyes.style = style;
    eyes.diameter = layout.diameter;
    eyes.gap = layout.gap;
    const std::vector<QString> all { QStringLiteral("wifi"), QStringLiteral("speaker.wave.2"),
        QStringLiteral("battery.75percent") };
    const double iconWidth = icon + spacing;
    double used = pad + clockWidth + spacing + eyes.size().width() + 0.5 * spacing + iconWidth * double(all.size());
    const double notchRight = (w + layout.notchWidth) / 2;
    auto first = all.begin();
    while (first != all.end() && w - used < notchRight + spacing) {
        used -= iconWidth;
        ++first;
    }

    double right = w - pad;
    painter.drawText(QRectF(right - clockWidth - 1, 0, clockWidth + 1, b), Qt::AlignRight | Qt::AlignVCenter, clock);
    right -= clockWidth + spacing;
    for (auto item = all.end(); item != first;) {
        --item;
        symbols::draw(painter, *item, QRectF(right - icon, (b - icon) / 2, icon, icon), fontSize, ink);
        right -= iconWidth;
    }
    right -= 0.5 * spacing;

    // The eyes look, from where they are drawn, at where the pointer was a moment ago: the slower
    // they follow, the longer ago.
    const QPointF row(right - eyes.size().width() / 2, b / 2);
    const QPointF toCentre((eyes.diameter + eyes.gap) / 2, 0);
    const QPointF lagged = pointerAt(t - 0.45 * (1 - style.followSpeed), size, b, period);
    const auto yUp = [h](QPointF p) { return QPointF(p.x(), h - p.y()); };
    eyes.frame.leftPupil = EyeGeometry::pupilOffset(yUp(row - toCentre), yUp(lagged), layout.travel, style.crossesEyes);
    eyes.frame.rightPupil
        = EyeGeometry::pupilOffset(yUp(row + toCentre), yUp(lagged), layout.travel, style.crossesEyes);
    std::tie(eyes.frame.lidLeft, eyes.frame.lidRight) = lidAmounts(t, style, clickEvery);
    eyes.paint(painter, row);

    // The notch.
    const NotchShape notch { 0.18 * b, 0.42 * b };
    painter.fillPath(notch.path(QRectF((w - layout.notchWidth) / 2, 0, layout.notchWidth, b)), Qt::black);

    // The pointer, with a soft shadow below it.
    const QPointF cursor = pointerAt(t, size, b, period);
    const double cursorSide = symbols::side(15);
    const QRectF cursorBox(cursor.x() - cursorSide / 2, cursor.y() - cursorSide / 2, cursorSide, cursorSide);
    symbols::draw(painter, QStringLiteral("cursorarrow"), cursorBox.translated(0, 1), 15,
        QColor::fromRgbF(0, 0, 0, 0.55f), QFont::Medium);
    symbols::draw(painter, QStringLiteral("cursorarrow"), cursorBox, 15, Qt::white, QFont::Medium);
    painter.restore();
}

void EyePreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QPainterPath clip;
    clip.addRoundedRect(bounds, 9, 9);
    painter.setClipPath(clip);
    paintFrame(painter, bounds.size(), now(), m_style, clockText(), m_period, m_clickEvery);
    painter.setClipping(false);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.1f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 8.5, 8.5);
}

void EyePreview::showEvent(QShowEvent*)
{
    m_frames.start();
}

void EyePreview::hideEvent(QHideEvent*)
{
    m_frames.stop();
}

} // namespace nimbra
