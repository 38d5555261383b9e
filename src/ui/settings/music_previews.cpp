#include "ui/settings/music_previews.h"

#include "ui/settings/preview_paint.h"

#include "core/uptime.h"
#include "ui/surface/level_readout.h"
#include "ui/surface/notch_shape.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace nimbra {

using preview_paint::grey;

namespace {

QColor withAlpha(QColor colour, double opacity)
{
    colour.setAlphaF(float(colour.alphaF() * opacity));
    return colour;
}

constexpr Spring kNotchSpring { 0.34, 0.82 };
constexpr double kCaptionFade = 0.2;
constexpr double kLoop = 6.0;
constexpr double kBeatLength = 2.0;

double easeInOut(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x < 0.5 ? 2 * x * x : 1 - std::pow(-2 * x + 2, 2) / 2;
}

double lineHeight(const QFont& font)
{
    return QFontMetricsF(font).height();
}

// Space left over in a column, shared by a flexible space above and one below, each taking at
// least its minimum: the top one's length.
double leadingSpace(double free, double minimumTop, double minimumBottom)
{
    const double even = free / 2;
    if (even >= minimumTop && free - even >= minimumBottom)
        return even;
    return std::max(minimumTop, std::min(free - minimumBottom, std::max(even, minimumTop)));
}

} // namespace

QColor PreviewColours::orange(const NotchTheme& theme)
{
    return theme.isDark ? QColor::fromRgbF(0.99f, 0.45f, 0.22f) : QColor::fromRgbF(0.85f, 0.32f, 0.10f);
}

QColor PreviewColours::ink(const NotchTheme& theme)
{
    return theme.isDark ? grey(1) : grey(0.09);
}

QColor PreviewColours::notchFill(const NotchTheme& theme)
{
    return theme.isDark ? grey(0) : grey(0.96);
}

QColor PreviewColours::artist(const NotchTheme& theme)
{
    return theme.isDark ? grey(1, 0.5) : grey(0.09, 0.55);
}

QSizeF titleBlockSize(double titleSize, double artistSize)
{
    const QFont title = systemFont(titleSize, QFont::DemiBold);
    const QFont artist = systemFont(artistSize);
    const double width = std::max(QFontMetricsF(title).horizontalAdvance(MusicSample::title()),
        QFontMetricsF(artist).horizontalAdvance(MusicSample::artist()));
    return { width, lineHeight(title) + lineHeight(artist) };
}

double paintTitleBlock(QPainter& p, const QRectF& box, const NotchTheme& theme, double titleSize, double artistSize,
    Qt::Alignment alignment)
{
    const QFont title = systemFont(titleSize, QFont::DemiBold);
    const QFont artist = systemFont(artistSize);
    const double titleHeight = lineHeight(title);
    const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
    p.setFont(title);
    p.setPen(PreviewColours::ink(theme));
    const QFontMetricsF titleMetrics(title);
    p.drawText(QRectF(box.left(), box.top(), box.width(), titleHeight), horizontal | Qt::AlignTop,
        titleMetrics.elidedText(MusicSample::title(), Qt::ElideRight, box.width()));
    p.setFont(artist);
    p.setPen(PreviewColours::artist(theme));
    const QFontMetricsF artistMetrics(artist);
    p.drawText(QRectF(box.left(), box.top() + titleHeight, box.width(), lineHeight(artist)), horizontal | Qt::AlignTop,
        artistMetrics.elidedText(MusicSample::artist(), Qt::ElideRight, box.width()));
    return titleHeight + lineHeight(artist);
}

void MusicPreview::paint(QPainter& p, const QRectF& rect, std::optional<double> t) const
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QColor orange = PreviewColours::orange(theme);
    const QColor ink = PreviewColours::ink(theme);
    const QColor faint = theme.isDark ? grey(1, 0.45) : grey(0.09, 0.5);

    // The middle column: title block, scrubber and transport, 3 apart.
    const QFont timeFont = systemFont(7);
    const double scrubberHeight = std::max(lineHeight(timeFont), 2.5);
    const double transportHeight = symbols::side(11);
    const double titleHeight = titleBlockSize(11, 9).height();
    const double columnHeight = titleHeight + 3 + scrubberHeight + 3 + transportHeight;
    const double rowHeight = std::max({ 42.0, columnHeight, 14.0 });

    const double left = rect.left() + 18;
    const double right = rect.right() - 18;
    const double top = rect.top() + 24;
    const double centreY = top + rowHeight / 2;

    // Artwork.
    const QRectF art(left, centreY - 21, 42, 42);
    QLinearGradient artFill(art.topLeft(), art.bottomRight());
    artFill.setColorAt(0, withAlpha(orange, 0.85));
    artFill.setColorAt(1, withAlpha(orange, 0.4));
    p.setPen(Qt::NoPen);
    p.setBrush(artFill);
    p.drawRoundedRect(art, 6, 6);
    symbols::draw(p, QStringLiteral("music.note"), art, 16, grey(1, 0.9));

    // Equaliser at the trailing end.
    const QRectF bars(right - 12, centreY - 7, 12, 14);
    Equaliser::paint(p, bars, 4, orange, animatesEqualiser ? t : std::nullopt);

    const QRectF column(
        art.right() + 10, centreY - columnHeight / 2, bars.left() - 10 - art.right() - 10, columnHeight);
    double y = column.top();
    y += paintTitleBlock(p, QRectF(column.left(), y, column.width(), titleHeight), theme, 11, 9, Qt::AlignHCenter);
    y += 3;

    // Scrubber: elapsed, track, remaining.
    p.setFont(timeFont);
    const QFontMetricsF timeMetrics(timeFont);
    const double elapsedWidth = timeMetrics.horizontalAdvance(MusicSample::elapsed());
    const double remainingWidth = timeMetrics.horizontalAdvance(MusicSample::remaining());
    p.setPen(faint);
    p.drawText(QRectF(column.left(), y, elapsedWidth + 1, scrubberHeight), Qt::AlignLeft | Qt::AlignVCenter,
        MusicSample::elapsed());
    p.drawText(QRectF(column.right() - remainingWidth - 1, y, remainingWidth + 1, scrubberHeight),
        Qt::AlignRight | Qt::AlignVCenter, MusicSample::remaining());
    const QRectF track(column.left() + elapsedWidth + 5, y + scrubberHeight / 2 - 1.25,
        std::max(0.0, column.width() - elapsedWidth - remainingWidth - 10), 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(theme.isDark ? grey(1, 0.18) : grey(0, 0.153));
    p.drawRoundedRect(track, 1.25, 1.25);
    p.setBrush(withAlpha(ink, 0.85));
    p.drawRoundedRect(QRectF(track.left(), track.top(), std::min(42.0, track.width()), 2.5), 1.25, 1.25);
    y += scrubberHeight + 3;

    // Transport: previous, pause, next, 14 apart.
    const double small = symbols::side(9);
    const double large = symbols::side(11);
    const double transportWidth = small + 14 + large + 14 + small;
    double x = column.center().x() - transportWidth / 2;
    const double midY = y + transportHeight / 2;
    const QColor transport = withAlpha(ink, 0.8);
    symbols::draw(p, QStringLiteral("backward.fill"), QRectF(x, midY - small / 2, small, small), 9, transport);
    x += small + 14;
    symbols::draw(p, QStringLiteral("pause.fill"), QRectF(x, midY - large / 2, large, large), 11, transport);
    x += large + 14;
    symbols::draw(p, QStringLiteral("forward.fill"), QRectF(x, midY - small / 2, small, small), 9, transport);
    p.restore();
}

// MARK: Behaviour demo

MusicBehaviourDemo::MusicBehaviourDemo(
    const NotchTheme& theme, bool announcesTracks, bool staysVisible, QWidget* parent)
    : QWidget(parent)
    , clock(&Equaliser::timelineSeconds)
    , m_theme(theme)
    , m_announces(announcesTracks)
    , m_stays(staysVisible)
{
    setFixedHeight(118);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_beatTimer.setSingleShot(true);
    m_beatTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_beatTimer, &QTimer::timeout, this, [this] { sync(true); });
    // The equaliser moves at most 24 times a second.
    m_equaliserTimer.setInterval(42);
    connect(&m_equaliserTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    m_frames.onFrame = [this] { tickFrames(); };
    m_beat = beat(clock(), m_announces);
    m_previousBeat = m_beat;
    const QSizeF size = notchSize(m_beat, m_stays);
    m_width.set(size.width());
    m_height.set(size.height());
}

MusicBehaviourDemo::Beat MusicBehaviourDemo::beat(double t, bool announcesTracks)
{
    if (!announcesTracks)
        return Beat::after;
    const double p = std::fmod(t, kLoop);
    const double phase = p < 0 ? p + kLoop : p;
    if (phase < 2.0)
        return Beat::rest;
    if (phase < 4.0)
        return Beat::announce;
    return Beat::after;
}

std::optional<double> MusicBehaviourDemo::untilNextBeat(double t, bool announcesTracks)
{
    if (!announcesTracks)
        return std::nullopt;
    const double p = std::fmod(t, kBeatLength);
    const double phase = p < 0 ? p + kBeatLength : p;
    return kBeatLength - phase;
}

QString MusicBehaviourDemo::caption(Beat beat, bool announcesTracks, bool staysVisible)
{
    switch (beat) {
    case Beat::rest:
        return QStringLiteral("Playing — notch at rest");
    case Beat::announce:
        return QStringLiteral("Track changed");
    case Beat::after:
        if (!announcesTracks)
            return QStringLiteral("Track changes pass silently");
        return staysVisible ? QStringLiteral("An indicator stays while it plays") : QStringLiteral("Back to nothing");
    }
    return {};
}

QSizeF MusicBehaviourDemo::notchSize(Beat beat, bool staysVisible)
{
    switch (beat) {
    case Beat::rest:
        return { 130, 26 };
    case Beat::announce:
        return { 250, 62 };
    case Beat::after:
        return staysVisible ? QSizeF(168, 34) : QSizeF(130, 26);
    }
    return { 130, 26 };
}

void MusicBehaviourDemo::setTheme(const NotchTheme& theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    update();
}

void MusicBehaviourDemo::setBehaviour(bool announcesTracks, bool staysVisible)
{
    if (announcesTracks == m_announces && staysVisible == m_stays)
        return;
    m_announces = announcesTracks;
    m_stays = staysVisible;
    sync(m_shown);
}

bool MusicBehaviourDemo::isTicking() const
{
    return m_beatTimer.isActive() || m_equaliserTimer.isActive() || m_frames.isActive();
}

void MusicBehaviourDemo::sync(bool animated)
{
    const double t = clock();
    const Beat next = beat(t, m_announces);
    const double now = uptime();
    const QSizeF size = notchSize(next, m_stays);
    if (animated) {
        if (next != m_beat) {
            m_previousBeat = m_beat;
            m_captionChangedAt = now;
        }
        m_width.animate(size.width(), kNotchSpring, now);
        m_height.animate(size.height(), kNotchSpring, now);
    } else {
        m_previousBeat = next;
        m_captionChangedAt = -1;
        m_width.set(size.width());
        m_height.set(size.height());
    }
    m_beat = next;
    update();
    if (!m_shown) {
        stopAll();
        return;
    }
    if (const std::optional<double> wait = untilNextBeat(t, m_announces))
        // A hair past the turn, so the clock reads the new beat.
        m_beatTimer.start(int(std::ceil(*wait * 1000)) + 5);
    else
        m_beatTimer.stop();
    const bool equaliser = m_beat == Beat::after && m_stays;
    if (equaliser && !m_equaliserTimer.isActive())
        m_equaliserTimer.start();
    else if (!equaliser)
        m_equaliserTimer.stop();
    if (m_width.isMoving(now) || m_height.isMoving(now) || m_captionChangedAt >= 0)
        m_frames.start();
}

void MusicBehaviourDemo::tickFrames()
{
    const double now = uptime();
    if (m_captionChangedAt >= 0 && now - m_captionChangedAt >= kCaptionFade)
        m_captionChangedAt = -1;
    if (!m_width.isMoving(now) && !m_height.isMoving(now) && m_captionChangedAt < 0)
        m_frames.stop();
    update();
}

void MusicBehaviourDemo::stopAll()
{
    m_beatTimer.stop();
    m_equaliserTimer.stop();
    m_frames.stop();
}

void MusicBehaviourDemo::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Also a window coming back from being minimised.
    m_shown = true;
    sync(false);
}

void MusicBehaviourDemo::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Also a spontaneous hide: a minimised window stays "visible" to Qt, yet nobody sees it.
    m_shown = false;
    stopAll();
}

void MusicBehaviourDemo::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF scene(rect());
    preview_paint::backdrop(
        p, scene, 9, { QColor::fromRgbF(0.30f, 0.40f, 0.52f), QColor::fromRgbF(0.55f, 0.47f, 0.38f) });

    const double now = uptime();
    const double w = std::max(1.0, m_width.value(now));
    const double h = std::max(1.0, m_height.value(now));
    const QRectF notch(scene.center().x() - w / 2, scene.top(), w, h);
    const QPainterPath outline = NotchShape { 6, 14 }.path(notch);
    p.setPen(Qt::NoPen);
    p.setBrush(PreviewColours::notchFill(m_theme));
    p.drawPath(outline);

    p.save();
    p.setClipPath(outline, Qt::IntersectClip);
    if (m_beat == Beat::announce) {
        const QSizeF block = titleBlockSize(9, 7.5);
        const double rowHeight = std::max(20.0, block.height());
        const double top = notch.top() + leadingSpace(notch.height() - rowHeight, 24, 6);
        const QRectF art(notch.left() + 14, top + (rowHeight - 20) / 2, 20, 20);
        p.setBrush(withAlpha(PreviewColours::orange(m_theme), 0.8));
        p.drawRoundedRect(art, 3, 3);
        paintTitleBlock(p,
            QRectF(art.right() + 8, top + (rowHeight - block.height()) / 2, notch.right() - 14 - art.right() - 8,
                block.height()),
            m_theme, 9, 7.5, Qt::AlignLeft);
    } else if (m_beat == Beat::after && m_stays) {
        // A spacer of at least 86, the 10 × 10 equaliser, a spacer, 10 trailing: the spare room
        // is shared evenly by the two spacers, the first never below its minimum.
        const double free = std::max(0.0, notch.width() - 10 - 10 - 12);
        const double first = std::max(86.0, free / 2);
        const QRectF bars(notch.left() + first + 6, notch.center().y() - 5, 10, 10);
        Equaliser::paint(p, bars, 4, PreviewColours::orange(m_theme),
            m_equaliserTimer.isActive() ? std::optional<double>(clock()) : std::nullopt);
    }
    p.restore();

    // The caption; a new one fades in over the old.
    const auto drawCaption = [&](const QString& text, double opacity) {
        if (opacity <= 0)
            return;
        const QFont font = systemFont(10);
        const QFontMetricsF metrics(font);
        const QSizeF pill(metrics.horizontalAdvance(text) + 16, metrics.height() + 6);
        const QRectF box(
            scene.center().x() - pill.width() / 2, scene.bottom() - 8 - pill.height(), pill.width(), pill.height());
        p.setOpacity(opacity);
        p.setPen(Qt::NoPen);
        p.setBrush(grey(0, 0.35));
        p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
        p.setFont(font);
        p.setPen(grey(1, 0.85));
        p.drawText(box, Qt::AlignCenter, text);
        p.setOpacity(1);
    };
    const QString current = currentCaption();
    if (m_captionChangedAt >= 0) {
        const double e = easeInOut((now - m_captionChangedAt) / kCaptionFade);
        drawCaption(caption(m_previousBeat, m_announces, m_stays), 1 - e);
        drawCaption(current, e);
    } else {
        drawCaption(current, 1);
    }
}

} // namespace nimbra
