#include "modules/now_playing/now_playing_views.h"

#include "core/clamped.h"
#include "core/uptime.h"
#include "modules/now_playing/now_playing_parts.h"
#include "modules/shell/source_badge.h"
#include "ui/surface/level_readout.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace nimbra {

namespace {

const Spring kLandingSpring { 0.32, 0.7 };
constexpr double kDrop = 5; // points a readout falls into place
constexpr int kEqualiserBars = 4;

QFont activityTitleFont(const SurfaceMetrics& m)
{
    return systemFont(m.font(11.5), QFont::DemiBold);
}
QFont activityArtistFont(const SurfaceMetrics& m)
{
    return systemFont(m.font(9.5));
}
QFont expandedTitleFont(const SurfaceMetrics& m)
{
    return systemFont(m.font(14), QFont::DemiBold);
}
QFont expandedArtistFont(const SurfaceMetrics& m)
{
    return systemFont(m.font(11));
}

// Where content of `content` height starts between two flexible spacers of at least `minTop`
// and `minBottom`: they share the room evenly, each keeping its minimum.
double spacedTop(double total, double content, double minTop, double minBottom)
{
    const double room = total - content;
    if (room / 2 >= std::max(minTop, minBottom))
        return room / 2;
    return minTop >= minBottom ? minTop : std::max(minTop, room - minBottom);
}

// The badge disc's square: its bottom-right corner on the cover's, then shifted out by `shift`.
QRectF badgeRect(const QRectF& artwork, double side, double shift)
{
    return QRectF(artwork.right() + shift - side, artwork.bottom() + shift - side, side, side);
}

void drawLine(QPainter& p, const QRectF& box, const QString& text, const QFont& font, const QColor& colour,
    Qt::Alignment alignment)
{
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, alignment | Qt::AlignVCenter, QFontMetricsF(font).elidedText(text, Qt::ElideRight, box.width()));
}

// A rectangle as part of a cache key.
QString rectKey(const QRectF& r)
{
    return QStringLiteral("|%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

// MARK: TextLayer

void TextLayer::paint(QPainter& painter, QSize size, const QString& wanted, const std::function<void(QPainter&)>& draw)
{
    const double dpr = paintPixelRatio(painter);
    const QString fullKey = wanted + QStringLiteral("|%1x%2@%3").arg(size.width()).arg(size.height()).arg(dpr);
    if (fullKey != key) {
        QImage image((QSizeF(size) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        p.end();
        pixmap = QPixmap::fromImage(std::move(image));
        key = fullKey;
    }
    painter.drawPixmap(QPointF(0, 0), pixmap);
}

// MARK: BadgeDisc

BadgeDisc::BadgeDisc(
    NowPlayingTrack::Source source, double badgeSize, double padding, double discOpacity, QWidget* parent)
    : QWidget(parent)
    , m_source(source)
    , m_badgeSize(badgeSize)
    , m_padding(padding)
    , m_discOpacity(discOpacity)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setToolTip(SourceBadge::tooltip(source));
}

void BadgeDisc::setSource(NowPlayingTrack::Source source)
{
    if (source == m_source)
        return;
    m_source = source;
    setToolTip(SourceBadge::tooltip(source));
    update();
}

void BadgeDisc::setOpacity(double opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

void BadgeDisc::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const NotchTheme theme = notchTheme(this);
    const double dpr = paintPixelRatio(p);
    const QString key = QStringLiteral("%1:%2:%3:%4:%5")
                            .arg(rawValue(m_source))
                            .arg(width())
                            .arg(height())
                            .arg(dpr)
                            .arg(theme.isDark);
    if (key != m_drawnKey) {
        QImage image((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter q(&image);
        q.setRenderHint(QPainter::Antialiasing);
        QColor disc = theme.surface();
        disc.setAlphaF(float(disc.alphaF() * m_discOpacity));
        q.setPen(Qt::NoPen);
        q.setBrush(disc);
        const QRectF frame(rect());
        q.drawEllipse(frame);
        SourceBadge::paint(q, frame.adjusted(m_padding, m_padding, -m_padding, -m_padding), m_source, QString(),
            theme.secondaryText(0.6));
        q.end();
        m_drawn = QPixmap::fromImage(std::move(image));
        m_drawnKey = key;
    }
    p.setOpacity(clamped(m_opacity, 0.0, 1.0));
    p.drawPixmap(QPointF(0, 0), m_drawn);
}

// MARK: NowPlayingActivityView

NowPlayingActivityView::NowPlayingActivityView(const NowPlayingTrack& track, const QImage& artwork,
    const SurfaceMetrics& metrics, std::optional<Transport> transport, std::uint64_t identity, QWidget* parent)
    : QWidget(parent)
    , m_track(track)
    , m_metrics(metrics)
    , m_transport(transport)
    , m_identity(identity)
    , m_artwork(new ArtworkView(artwork, metrics.size(4), this))
    , m_badge(new BadgeDisc(track.source, metrics.size(10), 1.5, 0.7, this))
    , m_equaliser(new Equaliser(true, QColor(), kEqualiserBars, this))
    , m_landing(kLandingSpring)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_landing.onFrame = [this] { place(); };
    place();
}

const QImage& NowPlayingActivityView::artwork() const
{
    return m_artwork->image();
}

QString NowPlayingActivityView::artistLine(const NowPlayingTrack& track, std::optional<Transport> transport)
{
    return transport == Transport::pause ? QStringLiteral("Paused") : track.artist;
}

QString NowPlayingActivityView::trailingSymbol(const NowPlayingTrack& track, std::optional<Transport> transport)
{
    if (transport)
        return *transport == Transport::pause ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
    return track.isPlaying() ? QString() : QStringLiteral("pause.fill");
}

double NowPlayingActivityView::artworkSide(const SurfaceMetrics& metrics)
{
    const double content = metrics.size().height() - metrics.notchHeight();
    if (content < 0)
        return 22;
    return clamped(content * 0.55, 22.0, 60.0);
}

NowPlayingActivityView::Layout NowPlayingActivityView::layout(
    const NowPlayingTrack& track, std::optional<Transport> transport, const SurfaceMetrics& m, QSizeF size)
{
    Layout l;
    const double side = artworkSide(m);
    const double gap = m.space(9);
    const double padding = m.sidePadding();
    const double titleHeight = QFontMetricsF(activityTitleFont(m)).height();
    const double artistHeight = QFontMetricsF(activityArtistFont(m)).height();
    QSizeF trailing;
    if (transport)
        trailing = QSizeF(m.size(22), m.size(22));
    else if (track.isPlaying())
        trailing = QSizeF(m.size(13), m.size(12));
    else
        trailing = QSizeF(symbols::side(m.font(11)), symbols::side(m.font(11)));
    const double rowHeight = std::max({ side, titleHeight + artistHeight, trailing.height() });
    const double top = spacedTop(size.height(), rowHeight, m.notchHeight(), m.space(7));
    l.row = QRectF(padding, top, std::max(0.0, size.width() - 2 * padding), rowHeight);
    const double mid = l.row.center().y();
    l.artwork = QRectF(l.row.left(), mid - side / 2, side, side);
    const double disc = m.size(10) + 3;
    l.badge = badgeRect(l.artwork, disc, 4);
    l.trailing
        = QRectF(l.row.right() - trailing.width(), mid - trailing.height() / 2, trailing.width(), trailing.height());
    const double textLeft = l.artwork.right() + gap;
    const double textWidth = std::max(0.0, l.trailing.left() - gap - textLeft);
    const double textTop = mid - (titleHeight + artistHeight) / 2;
    l.title = QRectF(textLeft, textTop, textWidth, titleHeight);
    l.artist = QRectF(textLeft, textTop + titleHeight, textWidth, artistHeight);
    return l;
}

void NowPlayingActivityView::adopt(const NowPlayingActivityView& fresh)
{
    m_track = fresh.m_track;
    m_transport = fresh.m_transport;
    m_artwork->setImage(fresh.artwork());
    m_badge->setSource(m_track.source);
    place();
    update();
}

void NowPlayingActivityView::showEvent(QShowEvent*)
{
    if (m_landing.hasBegun())
        return;
    m_landing.begin();
    place();
}

void NowPlayingActivityView::resizeEvent(QResizeEvent*)
{
    place();
}

void NowPlayingActivityView::place()
{
    const double progress = m_landing.value();
    const double opacity = clamped(progress, 0.0, 1.0);
    const double lift = -kDrop * (1 - progress);
    m_layout = layout(m_track, m_transport, m_metrics, size());
    const Layout& l = m_layout;
    m_artwork->setGeometry(l.artwork.translated(0, lift).toAlignedRect());
    m_artwork->setOpacity(opacity);
    m_badge->setGeometry(l.badge.translated(0, lift).toAlignedRect());
    m_badge->setOpacity(opacity);
    const bool equaliser = !m_transport && m_track.isPlaying();
    m_equaliser->setGeometry(l.trailing.translated(0, lift).toAlignedRect());
    m_equaliser->setVisible(equaliser);
    update();
}

void NowPlayingActivityView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const NotchTheme theme = notchTheme(this);
    // The equaliser follows the theme that reaches this view.
    m_equaliser->setTint(theme.accent());
    const double progress = m_landing.value();
    p.setOpacity(clamped(progress, 0.0, 1.0));
    p.translate(0, -kDrop * (1 - progress));
    const Layout& l = m_layout;
    const QString artist = artistLine(m_track, m_transport);
    // Laid out at rest; the landing moves the whole layer.
    m_text.paint(p, size(),
        m_track.title + QChar(0x1F) + artist + QChar(0x1F) + QString::number(theme.isDark) + rectKey(l.title)
            + rectKey(l.artist),
        [&](QPainter& q) {
            drawLine(q, l.title, m_track.title, activityTitleFont(m_metrics), theme.primaryText(), Qt::AlignLeft);
            drawLine(q, l.artist, artist, activityArtistFont(m_metrics), theme.secondaryText(0.5), Qt::AlignLeft);
        });
    const QString symbol = trailingSymbol(m_track, m_transport);
    if (symbol.isEmpty())
        return;
    if (m_transport) {
        p.setPen(Qt::NoPen);
        p.setBrush(theme.well(0.16));
        p.drawEllipse(l.trailing);
        symbols::draw(p, symbol, l.trailing, m_metrics.font(10), theme.accent(), QFont::Bold);
    } else {
        symbols::draw(p, symbol, l.trailing, m_metrics.font(11), theme.accent(), QFont::DemiBold);
    }
}

// MARK: NowPlayingExpandedView

NowPlayingExpandedView::NowPlayingExpandedView(const NowPlayingTrack& track, const QImage& artwork,
    const SurfaceMetrics& metrics, std::function<void()> playPause, std::function<void()> next,
    std::function<void()> previous, std::function<void(double)> scrub, QWidget* parent)
    : QWidget(parent)
    , onPlayPause(std::move(playPause))
    , onNext(std::move(next))
    , onPrevious(std::move(previous))
    , onScrub(std::move(scrub))
    , m_track(track)
    , m_metrics(metrics)
    , m_artwork(new ArtworkView(artwork, metrics.size(9), this))
    , m_badge(new BadgeDisc(track.source, metrics.size(15), metrics.space(3), 0.65, this))
    , m_equaliser(new Equaliser(true, QColor(), kEqualiserBars, this))
    , m_scrubber(new Scrubber(
          track, true, metrics,
          [this](double fraction) {
              if (onScrub)
                  onScrub(fraction);
          },
          this))
    , m_previous(new TransportButton(
          QStringLiteral("backward.fill"), metrics.font(13),
          [this] {
              if (onPrevious)
                  onPrevious();
          },
          this))
    , m_playPause(new TransportButton(
          playPauseSymbol(track), metrics.font(16),
          [this] {
              if (onPlayPause)
                  onPlayPause();
          },
          this))
    , m_next(new TransportButton(
          QStringLiteral("forward.fill"), metrics.font(13),
          [this] {
              if (onNext)
                  onNext();
          },
          this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    place();
}

const QImage& NowPlayingExpandedView::artwork() const
{
    return m_artwork->image();
}

void NowPlayingExpandedView::setSeekable(bool seekable)
{
    m_isSeekable = seekable;
    m_scrubber->setTrack(m_track, seekable);
}

void NowPlayingExpandedView::adopt(const NowPlayingExpandedView& fresh)
{
    m_track = fresh.m_track;
    m_isSeekable = fresh.m_isSeekable;
    onPlayPause = fresh.onPlayPause;
    onNext = fresh.onNext;
    onPrevious = fresh.onPrevious;
    onScrub = fresh.onScrub;
    m_artwork->setImage(fresh.artwork());
    m_badge->setSource(m_track.source);
    m_scrubber->setTrack(m_track, m_isSeekable);
    m_playPause->setSymbol(playPauseSymbol(m_track));
    place();
}

double NowPlayingExpandedView::artworkSide(const SurfaceMetrics& m)
{
    const double content = m.size().height() - m.notchHeight();
    return clamped(std::max(content, 0.0) - m.space(22), 34.0, 200.0);
}

bool NowPlayingExpandedView::showsEqualiser(const NowPlayingTrack& track, const SurfaceMetrics& m)
{
    return track.isPlaying() && m.size().height() - m.notchHeight() >= 66;
}

bool NowPlayingExpandedView::showsEqualiser() const
{
    return showsEqualiser(m_track, m_metrics);
}

QString NowPlayingExpandedView::playPauseSymbol(const NowPlayingTrack& track)
{
    return track.isPlaying() ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
}

NowPlayingExpandedView::Layout NowPlayingExpandedView::layout(
    const NowPlayingTrack& track, const SurfaceMetrics& m, QSizeF size)
{
    Layout l;
    const double side = artworkSide(m);
    const double padding = m.sidePadding();
    const double gap = m.space(13);
    const QFont titleFont = expandedTitleFont(m);
    const QFontMetricsF titleMetrics(titleFont);
    const double titleHeight = titleMetrics.height();
    const double artistHeight = QFontMetricsF(expandedArtistFont(m)).height();
    const bool equaliser = showsEqualiser(track, m);
    const QSizeF equaliserSize(m.size(12), m.size(10));
    const double titleRow = std::max(titleHeight, equaliser ? equaliserSize.height() : 0.0);
    const double titles = titleRow + 1 + artistHeight;
    const double scrubber = Scrubber::rowHeight(m);
    const QSizeF small(m.font(13) + 16, m.font(13) + 12);
    const QSizeF large(m.font(16) + 16, m.font(16) + 12);
    const double column = titles + m.space(5) + scrubber + m.space(5) + large.height();
    const double rowHeight = std::max(side, column);
    // The row sits above a spacer of at least space(8), centred in what is left.
    const double top = std::max(0.0, (size.height() - m.space(8) - rowHeight) / 2);

    l.artwork = QRectF(padding, top + (rowHeight - side) / 2, side, side);
    l.badge = badgeRect(l.artwork, m.size(15) + 2 * m.space(3), m.space(5));
    const double columnLeft = l.artwork.right() + gap;
    const double columnWidth = std::max(0.0, size.width() - padding - columnLeft);
    l.column = QRectF(columnLeft, top + (rowHeight - column) / 2, columnWidth, column);
    const double centre = l.column.center().x();

    // The title and the equaliser are centred together; the title gives way when space is short.
    const double extra = equaliser ? m.space(7) + equaliserSize.width() : 0;
    const double titleWidth = std::min(titleMetrics.horizontalAdvance(track.title) + 1, columnWidth - extra);
    const double unit = std::max(0.0, titleWidth) + extra;
    double y = l.column.top();
    l.title = QRectF(centre - unit / 2, y + (titleRow - titleHeight) / 2, std::max(0.0, titleWidth), titleHeight);
    if (equaliser)
        l.equaliser = QRectF(l.title.right() + m.space(7), y + (titleRow - equaliserSize.height()) / 2,
            equaliserSize.width(), equaliserSize.height());
    y += titleRow + 1;
    l.artist = QRectF(l.column.left(), y, columnWidth, artistHeight);
    y += artistHeight + m.space(5);
    l.scrubber = QRectF(l.column.left(), y, columnWidth, scrubber);
    y += scrubber + m.space(5);
    const double buttons = 2 * small.width() + large.width() + 2 * m.space(22);
    double x = centre - buttons / 2;
    l.previous = QRectF(QPointF(x, y + (large.height() - small.height()) / 2), small);
    x += small.width() + m.space(22);
    l.playPause = QRectF(QPointF(x, y), large);
    x += large.width() + m.space(22);
    l.next = QRectF(QPointF(x, y + (large.height() - small.height()) / 2), small);
    return l;
}

void NowPlayingExpandedView::resizeEvent(QResizeEvent*)
{
    place();
}

void NowPlayingExpandedView::place()
{
    m_layout = layout(m_track, m_metrics, size());
    const Layout& l = m_layout;
    m_artwork->setGeometry(l.artwork.toAlignedRect());
    m_badge->setGeometry(l.badge.toAlignedRect());
    m_equaliser->setVisible(!l.equaliser.isEmpty());
    if (!l.equaliser.isEmpty())
        m_equaliser->setGeometry(l.equaliser.toAlignedRect());
    m_scrubber->setGeometry(l.scrubber.toAlignedRect());
    m_previous->setGeometry(l.previous.toAlignedRect());
    m_playPause->setGeometry(l.playPause.toAlignedRect());
    m_next->setGeometry(l.next.toAlignedRect());
    update();
}

void NowPlayingExpandedView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const NotchTheme theme = notchTheme(this);
    m_equaliser->setTint(theme.accent());
    const Layout& l = m_layout;
    const QString key = m_track.title + QChar(0x1F) + m_track.artist + QChar(0x1F) + QString::number(theme.isDark)
        + QChar(0x1F) + rectKey(l.title) + rectKey(l.artist);
    m_text.paint(p, size(), key, [&](QPainter& q) {
        drawLine(q, l.title, m_track.title, expandedTitleFont(m_metrics), theme.primaryText(), Qt::AlignLeft);
        drawLine(
            q, l.artist, m_track.artist, expandedArtistFont(m_metrics), theme.secondaryText(0.5), Qt::AlignHCenter);
    });
}

} // namespace nimbra
