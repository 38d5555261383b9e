#include "ui/surface/level_readout.h"

#include "core/clamped.h"
#include "core/uptime.h"
#include "ui/surface/capsule_bar.h"
#include "ui/surface/symbols.h"

#include <QDateTime>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace nimbra {

namespace {

const Spring kValueSpring { 0.26, 0.82 };
constexpr double kMuteSeconds = 0.18;

QColor mix(const QColor& a, const QColor& b, double t)
{
    t = clamped(t, 0.0, 1.0);
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
        float(a.greenF() + (b.greenF() - a.greenF()) * t), float(a.blueF() + (b.blueF() - a.blueF()) * t),
        float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

double easeOut(double progress)
{
    // The standard ease-out curve (0, 0, 0.58, 1).
    static const QEasingCurve curve = [] {
        QEasingCurve c(QEasingCurve::BezierSpline);
        c.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
        return c;
    }();
    return curve.valueForProgress(clamped(progress, 0.0, 1.0));
}

struct ReadoutFonts {
    double symbolSize, gapSymbol, symbolFrame, minSpacer, stackGap;
    QFont title, detail, percent, noControl;

    explicit ReadoutFonts(const std::optional<SurfaceMetrics>& m)
    {
        auto s = [&](double x) { return LevelReadout::scaled(m, x); };
        symbolSize = s(14);
        symbolFrame = s(22);
        gapSymbol = s(10);
        minSpacer = s(6);
        stackGap = s(7);
        title = systemFont(s(11.5), QFont::DemiBold);
        detail = systemFont(s(9));
        percent = systemFont(s(11), QFont::Medium);
        noControl = systemFont(s(10));
    }

    double headerHeight(const SystemLevel& level) const
    {
        double text = QFontMetricsF(title).height();
        if (level.detail())
            text += QFontMetricsF(detail).height();
        const double right = QFontMetricsF(level.isAvailable ? percent : noControl).height();
        return std::max({ symbols::side(symbolSize), text, right });
    }
};

} // namespace

// MARK: LevelTrack

double LevelTrack::fillWidth(double width) const
{
    return capsuleFillWidth(fraction, width, clamped(fraction, 0.0, 1.0) > 0 ? minimumPill : 0);
}

void LevelTrack::paint(QPainter& p, const QRectF& rect) const
{
    // The empty track is the same faint white in both themes.
    paintCapsuleBar(p, rect, QColor::fromRgbF(1, 1, 1, 0.14f), fillWidth(rect.width()), tint, isMuted ? 0.35 : 0.72);
}

// MARK: LevelReadout

LevelReadout::LevelReadout(const SystemLevel& level, std::optional<SurfaceMetrics> metrics, QWidget* parent)
    : QWidget(parent)
    , m_level(level)
    , m_metrics(metrics)
    , m_fraction(level.isMuted ? 0 : level.value)
    , m_muteFrom(level.isMuted ? 1 : 0)
    , m_muteTo(m_muteFrom)
    , m_frames(this)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_frames.onFrame = [this] { tick(); };
}

double LevelReadout::scaled(const std::optional<SurfaceMetrics>& metrics, double nominal)
{
    return metrics ? metrics->size(nominal) : nominal;
}

QString LevelReadout::title(const SystemLevel& level)
{
    return level.isMuted ? QStringLiteral("Muted") : nimbra::title(level.kind);
}

QString LevelReadout::percentText(const SystemLevel& level)
{
    return QString::number(level.percentage()) + QLatin1Char('%');
}

QColor LevelReadout::tint(const SystemLevel& level, const NotchTheme& theme)
{
    return level.isMuted ? theme.secondaryText(0.5) : theme.primaryText();
}

double LevelReadout::trackHeight(const std::optional<SurfaceMetrics>& metrics)
{
    return clamped(scaled(metrics, 5), 4.0, 10.0);
}

double LevelReadout::contentHeight(const SystemLevel& level, const std::optional<SurfaceMetrics>& metrics)
{
    const ReadoutFonts f(metrics);
    double h = f.headerHeight(level);
    if (level.isAvailable)
        h += f.stackGap + trackHeight(metrics);
    return h;
}

void LevelReadout::paint(QPainter& p, const QRectF& rect, const SystemLevel& level,
    const std::optional<SurfaceMetrics>& metrics, const NotchTheme& theme, double shownFraction, double muteBlend)
{
    paintHeader(p, rect, level, metrics, theme, muteBlend);
    paintTrack(p, rect, level, metrics, theme, shownFraction, muteBlend);
}

void LevelReadout::paintTrack(QPainter& p, const QRectF& rect, const SystemLevel& level,
    const std::optional<SurfaceMetrics>& metrics, const NotchTheme& theme, double shownFraction, double muteBlend)
{
    if (!level.isAvailable)
        return;
    const ReadoutFonts f(metrics);
    const QColor tint = mix(theme.primaryText(), theme.secondaryText(0.5), muteBlend);
    const LevelTrack track { shownFraction, tint, level.isMuted };
    track.paint(
        p, QRectF(rect.left(), rect.top() + f.headerHeight(level) + f.stackGap, rect.width(), trackHeight(metrics)));
}

void LevelReadout::paintHeader(QPainter& p, const QRectF& rect, const SystemLevel& level,
    const std::optional<SurfaceMetrics>& metrics, const NotchTheme& theme, double muteBlend)
{
    const ReadoutFonts f(metrics);
    const QColor tint = mix(theme.primaryText(), theme.secondaryText(0.5), muteBlend);
    const double header = f.headerHeight(level);
    const double midY = rect.top() + header / 2;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    symbols::draw(
        p, level.symbol(), QRectF(rect.left(), rect.top(), f.symbolFrame, header), f.symbolSize, tint, QFont::Medium);

    // The percentage (or "No control") sits at the trailing edge; the title column takes the rest.
    const QString right = level.isAvailable ? percentText(level) : QStringLiteral("No control");
    const QFont& rightFont = level.isAvailable ? f.percent : f.noControl;
    const QFontMetricsF rightMetrics(rightFont);
    const double rightWidth = rightMetrics.horizontalAdvance(right);
    p.setFont(rightFont);
    p.setPen(level.isAvailable ? theme.secondaryText(0.6) : theme.secondaryText(0.45));
    p.drawText(
        QRectF(rect.right() - rightWidth, midY - rightMetrics.height() / 2, rightWidth + 1, rightMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter, right);

    const double textLeft = rect.left() + f.symbolFrame + f.gapSymbol;
    const double textWidth = std::max(0.0, rect.right() - rightWidth - f.minSpacer - textLeft);
    const QFontMetricsF titleMetrics(f.title);
    const std::optional<QString> detail = level.detail();
    const double detailHeight = detail ? QFontMetricsF(f.detail).height() : 0;
    double y = midY - (titleMetrics.height() + detailHeight) / 2;
    p.setFont(f.title);
    p.setPen(theme.primaryText());
    p.drawText(QRectF(textLeft, y, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        titleMetrics.elidedText(title(level), Qt::ElideRight, textWidth));
    if (detail) {
        y += titleMetrics.height();
        p.setFont(f.detail);
        p.setPen(theme.secondaryText(0.5));
        p.drawText(QRectF(textLeft, y, textWidth, detailHeight), Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetricsF(f.detail).elidedText(*detail, Qt::ElideRight, textWidth));
    }

    p.restore();
}

void LevelReadout::setLevel(const SystemLevel& level)
{
    if (level == m_level)
        return;
    const double now = uptime();
    if (level.isMuted != m_level.isMuted) {
        // Ease from wherever the tint is now.
        const double current = m_muteStart < 0
            ? m_muteTo
            : m_muteFrom + (m_muteTo - m_muteFrom) * easeOut((now - m_muteStart) / kMuteSeconds);
        m_muteFrom = current;
        m_muteTo = level.isMuted ? 1 : 0;
        m_muteStart = now;
    }
    const bool resized = level.isAvailable != m_level.isAvailable || level.detail() != m_level.detail();
    m_level = level;
    m_fraction.animate(level.isMuted ? 0 : level.value, kValueSpring, now);
    if (resized)
        updateGeometry();
    if (isAnimating())
        m_frames.start();
    update();
}

void LevelReadout::setOpacity(double opacity)
{
    opacity = clamped(opacity, 0.0, 1.0);
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

bool LevelReadout::isAnimating() const
{
    const double now = uptime();
    return m_fraction.isMoving(now) || (m_muteStart >= 0 && now - m_muteStart < kMuteSeconds);
}

void LevelReadout::tick()
{
    update();
    if (!isAnimating()) {
        m_muteStart = -1;
        m_frames.stop();
    }
}

QSize LevelReadout::sizeHint() const
{
    return QSize(int(std::ceil(scaled(200))), int(std::ceil(contentHeight(m_level, m_metrics))));
}

void LevelReadout::paintEvent(QPaintEvent*)
{
    if (m_opacity <= 0)
        return;
    const double now = uptime();
    double blend = m_muteTo;
    if (m_muteStart >= 0)
        blend = m_muteFrom + (m_muteTo - m_muteFrom) * easeOut((now - m_muteStart) / kMuteSeconds);
    QPainter p(this);
    p.setOpacity(m_opacity);
    const NotchTheme theme = notchTheme(this);
    const QRectF area(rect());
    if (blend == 0 || blend == 1) {
        // The header only changes with the reading: draw it once, then reuse it while the bar moves.
        const double dpr = paintPixelRatio(p);
        const double headerHeight = std::ceil(ReadoutFonts(m_metrics).headerHeight(m_level));
        const QSize pixels = (QSizeF(width(), headerHeight) * dpr).toSize();
        const HeaderKey key { m_level, theme, blend, pixels };
        if (m_header.isNull() || !(m_headerKey == key)) {
            m_header = QPixmap(pixels);
            m_header.setDevicePixelRatio(dpr);
            m_header.fill(Qt::transparent);
            QPainter cache(&m_header);
            paintHeader(cache, QRectF(0, 0, width(), headerHeight), m_level, m_metrics, theme, blend);
            m_headerKey = key;
        }
        p.drawPixmap(0, 0, m_header);
    } else {
        paintHeader(p, area, m_level, m_metrics, theme, blend);
    }
    paintTrack(p, area, m_level, m_metrics, theme, m_fraction.value(now), blend);
}

// MARK: Equaliser

Equaliser::Equaliser(bool isAnimating, const QColor& tint, int barCount, QWidget* parent)
    : QWidget(parent)
    , m_isAnimating(isAnimating)
    , m_tint(tint)
    , m_barCount(std::max(0, barCount))
{
    setAttribute(Qt::WA_TranslucentBackground);
    // At most 24 frames a second.
    m_timer.setInterval(42);
    connect(&m_timer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void Equaliser::setIsAnimating(bool animating)
{
    if (animating == m_isAnimating)
        return;
    m_isAnimating = animating;
    syncTimer();
    update();
}

void Equaliser::setTint(const QColor& tint)
{
    if (tint == m_tint)
        return;
    m_tint = tint;
    update();
}

void Equaliser::setBarCount(int count)
{
    count = std::max(0, count);
    if (count == m_barCount)
        return;
    m_barCount = count;
    update();
}

double Equaliser::timelineSeconds()
{
    // 978307200 s separate the Unix epoch from 1 January 2001.
    return QDateTime::currentMSecsSinceEpoch() / 1000.0 - 978307200.0;
}

double Equaliser::barFraction(int index, std::optional<double> t)
{
    if (!t)
        return pausedFraction;
    return 0.25 + 0.75 * (std::sin(1.7 * index + *t * (0.53 * index + 3.1)) + 1) / 2;
}

void Equaliser::paint(QPainter& p, const QRectF& rect, int barCount, const QColor& tint, std::optional<double> t)
{
    if (barCount <= 0 || rect.isEmpty())
        return;
    const double w = rect.width() / (2 * barCount - 1);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tint);
    for (int i = 0; i < barCount; ++i) {
        const double h = barFraction(i, t) * rect.height();
        const QRectF bar(rect.left() + 2 * i * w, rect.bottom() - h, w, h);
        const double radius = std::min(w / 2, h / 2);
        p.drawRoundedRect(bar, radius, radius);
    }
    p.restore();
}

void Equaliser::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(
        p, QRectF(rect()), m_barCount, m_tint, m_isAnimating ? std::optional<double>(timelineSeconds()) : std::nullopt);
}

void Equaliser::showEvent(QShowEvent*)
{
    syncTimer();
}

void Equaliser::hideEvent(QHideEvent*)
{
    syncTimer();
}

void Equaliser::syncTimer()
{
    const bool wanted = m_isAnimating && isVisible();
    if (wanted && !m_timer.isActive())
        m_timer.start();
    else if (!wanted && m_timer.isActive())
        m_timer.stop();
}

} // namespace nimbra
