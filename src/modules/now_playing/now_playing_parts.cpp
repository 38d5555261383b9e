#include "modules/now_playing/now_playing_parts.h"

#include "core/clamped.h"
#include "core/uptime.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QEasingCurve>
#include <QEnterEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace nimbra {

namespace {

// The ease-out both fades use: quick at first, settling gently.
double easedOut(double progress)
{
    static const QEasingCurve curve(QEasingCurve::OutQuad);
    return curve.valueForProgress(clamped(progress, 0.0, 1.0));
}

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(float(clamped(colour.alphaF() * opacity, 0.0, 1.0)));
    return colour;
}

QFont timeFont(const SurfaceMetrics& metrics)
{
    return systemFont(metrics.font(9.5));
}

} // namespace

// MARK: ArtworkView

ArtworkView::ArtworkView(const QImage& image, double cornerRadius, QWidget* parent)
    : QWidget(parent)
    , m_image(image)
    , m_cornerRadius(cornerRadius)
    , m_frames(this)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_frames.onFrame = [this] {
        update();
        if (reveal() >= 1) {
            m_fadeStart = -1;
            m_frames.stop();
        }
    };
}

void ArtworkView::setImage(const QImage& image)
{
    if (image.cacheKey() == m_image.cacheKey())
        return;
    const bool arriving = m_image.isNull() && !image.isNull();
    m_image = image;
    m_cover = QPixmap();
    if (arriving && isVisible()) {
        m_fadeStart = uptime();
        m_frames.start();
    }
    update();
}

void ArtworkView::setOpacity(double opacity)
{
    opacity = clamped(opacity, 0.0, 1.0);
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

double ArtworkView::reveal() const
{
    if (m_fadeStart < 0)
        return 1;
    return easedOut((uptime() - m_fadeStart) / fadeSeconds);
}

const QPixmap& ArtworkView::scaledCover(QSize pixels)
{
    if (m_cover.size() != pixels && !m_image.isNull() && !pixels.isEmpty()) {
        const QImage filled = m_image.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const QRect crop((filled.width() - pixels.width()) / 2, (filled.height() - pixels.height()) / 2, pixels.width(),
            pixels.height());
        m_cover = QPixmap::fromImage(filled.copy(crop));
    }
    return m_cover;
}

void ArtworkView::paint(
    QPainter& p, const QRectF& rect, const QImage& image, double cornerRadius, const NotchTheme& theme, double reveal)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(rect, cornerRadius, cornerRadius);
    p.setClipPath(clip);
    if (image.isNull() || reveal < 1) {
        QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
        gradient.setColorAt(0, theme.well(0.14));
        gradient.setColorAt(1, theme.well(0.06));
        p.fillRect(rect, gradient);
        const double glyph = cornerRadius * 1.6;
        symbols::draw(p, QStringLiteral("music.note"), rect, glyph, theme.secondaryText(0.35));
    }
    const double base = p.opacity();
    if (!image.isNull() && reveal > 0) {
        p.setOpacity(base * clamped(reveal, 0.0, 1.0));
        // Filling the square, cropped to keep the cover's proportions.
        const QSizeF filled = QSizeF(image.size()).scaled(rect.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF source((filled.width() - rect.width()) / 2 * image.width() / filled.width(),
            (filled.height() - rect.height()) / 2 * image.height() / filled.height(),
            rect.width() * image.width() / filled.width(), rect.height() * image.height() / filled.height());
        p.drawImage(rect, image, source);
        p.setOpacity(base);
    }
    p.setClipping(false);
    QPen border(theme.separator(), 0.5);
    p.setPen(border);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(rect.adjusted(0.25, 0.25, -0.25, -0.25), cornerRadius, cornerRadius);
    p.restore();
}

void ArtworkView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setOpacity(m_opacity);
    const NotchTheme theme = notchTheme(this);
    const QRectF frame(rect());
    const double shown = reveal();
    if (m_image.isNull() || shown < 1) {
        paint(p, frame, QImage(), m_cornerRadius, theme);
        if (m_image.isNull())
            return;
    }
    // The settled cover comes from a pixmap scaled once for this size and density.
    const double dpr = paintPixelRatio(p);
    const QPixmap& cover = scaledCover((frame.size() * dpr).toSize());
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(frame, m_cornerRadius, m_cornerRadius);
    p.setClipPath(clip);
    p.setOpacity(m_opacity * shown);
    p.drawPixmap(frame, cover, QRectF(cover.rect()));
    p.setOpacity(m_opacity);
    p.setClipping(false);
    p.setPen(QPen(theme.separator(), 0.5));
    p.drawRoundedRect(frame.adjusted(0.25, 0.25, -0.25, -0.25), m_cornerRadius, m_cornerRadius);
}

// MARK: ScrubBar

ScrubBar::ScrubBar(double fraction, bool isSeekable, const SurfaceMetrics& metrics,
    std::function<void(std::optional<double>)> preview, std::function<void(double)> commit, QWidget* parent)
    : QWidget(parent)
    , onPreview(std::move(preview))
    , onCommit(std::move(commit))
    , m_fraction(clamped(fraction, 0.0, 1.0))
    , m_isSeekable(isSeekable)
    , m_metrics(metrics)
    , m_frames(this)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    setCursor(isSeekable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    m_frames.onFrame = [this] {
        update();
        if (uptime() - m_knobStart >= knobFadeSeconds) {
            m_knobStart = -1;
            m_frames.stop();
        }
    };
}

void ScrubBar::setFraction(double fraction)
{
    fraction = clamped(fraction, 0.0, 1.0);
    if (fraction == m_fraction)
        return;
    m_fraction = fraction;
    update();
}

void ScrubBar::setSeekable(bool seekable)
{
    if (seekable == m_isSeekable)
        return;
    m_isSeekable = seekable;
    setCursor(seekable ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

double ScrubBar::fractionAt(double x) const
{
    return width() > 0 ? clamped(x / width(), 0.0, 1.0) : 0.0;
}

double ScrubBar::trackHeight(const SurfaceMetrics& metrics)
{
    return clamped(metrics.size(3), 3.0, 7.0);
}

double ScrubBar::knobDiameter(const SurfaceMetrics& metrics)
{
    return clamped(metrics.size(8), 8.0, 16.0);
}

double ScrubBar::knobLeft(double width, double fraction, double diameter)
{
    // A bar narrower than the knob keeps it at its leading edge.
    if (width < diameter)
        return 0;
    return clamped(width * fraction - diameter / 2, 0.0, width - diameter);
}

void ScrubBar::paint(QPainter& p, const QRectF& rect, double fraction, double knobOpacity,
    const SurfaceMetrics& metrics, const NotchTheme& theme)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double h = trackHeight(metrics);
    const QRectF track(rect.left(), rect.center().y() - h / 2, rect.width(), h);
    p.setBrush(theme.well(0.18));
    p.drawRoundedRect(track, h / 2, h / 2);
    const double fill = std::max(rect.width() * fraction, 2.0);
    p.setBrush(withOpacity(theme.primaryText(), 0.85));
    p.drawRoundedRect(QRectF(track.left(), track.top(), std::min(fill, std::max(rect.width(), 2.0)), h), h / 2, h / 2);
    if (knobOpacity > 0) {
        const double d = knobDiameter(metrics);
        p.setOpacity(p.opacity() * clamped(knobOpacity, 0.0, 1.0));
        p.setBrush(theme.primaryText());
        p.drawEllipse(QRectF(rect.left() + knobLeft(rect.width(), fraction, d), rect.center().y() - d / 2, d, d));
    }
    p.restore();
}

double ScrubBar::knobOpacity() const
{
    const double target = (m_isHovering || m_isDragging) ? 1 : 0;
    if (m_knobStart < 0)
        return target;
    return m_knobFrom + (target - m_knobFrom) * easedOut((uptime() - m_knobStart) / knobFadeSeconds);
}

void ScrubBar::setKnobState(bool hovering, bool dragging)
{
    // The fade starts from wherever the knob is now, so a quick in and out stays smooth.
    const double current = knobOpacity();
    m_isHovering = hovering;
    m_isDragging = dragging;
    if (knobOpacity() == current && m_knobStart < 0)
        return;
    m_knobFrom = current;
    m_knobStart = uptime();
    m_frames.start();
    update();
}

void ScrubBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF(rect()), m_fraction, knobOpacity(), m_metrics, notchTheme(this));
}

void ScrubBar::enterEvent(QEnterEvent*)
{
    setKnobState(true, m_isDragging);
}

void ScrubBar::leaveEvent(QEvent*)
{
    setKnobState(false, m_isDragging);
}

void ScrubBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_isSeekable) {
        event->ignore();
        return;
    }
    setKnobState(m_isHovering, true);
    if (onPreview)
        onPreview(fractionAt(event->position().x()));
}

void ScrubBar::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_isDragging || !m_isSeekable)
        return;
    if (onPreview)
        onPreview(fractionAt(event->position().x()));
}

void ScrubBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_isDragging || event->button() != Qt::LeftButton)
        return;
    setKnobState(m_isHovering, false);
    const double fraction = fractionAt(event->position().x());
    if (onPreview)
        onPreview(std::nullopt);
    if (onCommit)
        onCommit(fraction);
}

// MARK: Scrubber

Scrubber::Scrubber(const NowPlayingTrack& track, bool isSeekable, const SurfaceMetrics& metrics,
    std::function<void(double)> scrub, QWidget* parent)
    : QWidget(parent)
    , onScrub(std::move(scrub))
    , m_track(track)
    , m_metrics(metrics)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_bar = new ScrubBar(
        track.progress(uptime()), isSeekable && track.duration > 0, metrics,
        [this](std::optional<double> fraction) {
            m_dragFraction = fraction;
            if (fraction)
                m_bar->setFraction(*fraction);
            update();
        },
        [this](double fraction) {
            if (onScrub)
                onScrub(fraction);
            m_dragFraction.reset();
            tick();
        },
        this);
    m_tick.setInterval(tickMs);
    connect(&m_tick, &QTimer::timeout, this, &Scrubber::tick);
    layoutBar();
}

void Scrubber::setTrack(const NowPlayingTrack& track, bool isSeekable)
{
    m_track = track;
    m_bar->setSeekable(isSeekable && track.duration > 0);
    syncTimer();
    tick();
}

double Scrubber::rowHeight(const SurfaceMetrics& metrics)
{
    return std::max(metrics.size(13), QFontMetricsF(timeFont(metrics)).height());
}

QString Scrubber::elapsedText(double now) const
{
    if (m_dragFraction)
        return NowPlayingTrack::timestamp(*m_dragFraction * m_track.duration);
    return NowPlayingTrack::timestamp(m_track.position(now));
}

QString Scrubber::remainingText(double now) const
{
    return m_track.remainingText(now);
}

void Scrubber::tick()
{
    if (!m_dragFraction)
        m_bar->setFraction(m_track.progress(uptime()));
    update();
}

void Scrubber::syncTimer()
{
    // Nothing moves while the track is paused or the scrubber is off screen.
    if (isVisible() && m_track.isPlaying())
        m_tick.start();
    else
        m_tick.stop();
}

void Scrubber::showEvent(QShowEvent*)
{
    tick();
    syncTimer();
}

void Scrubber::hideEvent(QHideEvent*)
{
    syncTimer();
}

void Scrubber::resizeEvent(QResizeEvent*)
{
    layoutBar();
}

void Scrubber::layoutBar()
{
    const double gap = m_metrics.space(7);
    const double left = m_metrics.size(34) + gap;
    const double right = m_metrics.size(38) + gap;
    const double barHeight = m_metrics.size(13);
    m_bar->setGeometry(
        QRectF(left, (height() - barHeight) / 2, std::max(0.0, width() - left - right), barHeight).toAlignedRect());
}

void Scrubber::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const NotchTheme theme = notchTheme(this);
    const double now = uptime();
    p.setFont(timeFont(m_metrics));
    p.setPen(theme.secondaryText(0.45));
    const QRectF elapsed(0, 0, m_metrics.size(34), height());
    const QRectF remaining(width() - m_metrics.size(38), 0, m_metrics.size(38), height());
    p.drawText(elapsed, Qt::AlignLeft | Qt::AlignVCenter, elapsedText(now));
    p.drawText(remaining, Qt::AlignRight | Qt::AlignVCenter, remainingText(now));
}

// MARK: TransportButton

TransportButton::TransportButton(const QString& symbol, double size, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_size(size)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(symbol);
    resize(sizeHint());
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action)
            action();
    });
}

void TransportButton::setSymbol(const QString& symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    setAccessibleName(symbol);
    update();
}

QSize TransportButton::sizeHint() const
{
    return QSize(int(std::ceil(m_size + 16)), int(std::ceil(m_size + 12)));
}

void TransportButton::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TransportButton::leaveEvent(QEvent* event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TransportButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor tint = withOpacity(notchTheme(this).primaryText(), m_hovering ? 1.0 : 0.8);
    symbols::draw(p, m_symbol, QRectF(rect()), m_size, tint, QFont::Medium);
}

} // namespace nimbra
