#pragma once

#include "core/now_playing.h"
#include "ui/surface/spring.h"
#include "ui/surface/surface_metrics.h"

#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QWidget>
#include <cstdint>

class QPainter;
#include <functional>
#include <optional>

namespace nimbra {

class ArtworkView;

// The text lines of a view, drawn once into a pixmap of the view's size and redrawn only when
// what they show, the theme or the pixel density changes: a frame then costs one blit.
struct TextLayer {
    QPixmap pixmap;
    QString key;
    // Paints the layer with `draw` when `key` differs from the last one, then blits it.
    void paint(QPainter& painter, QSize size, const QString& key, const std::function<void(QPainter&)>& draw);
};
class Equaliser;
class Scrubber;
class TransportButton;

// The player's badge on a small disc of the surface colour, laid over a cover's corner.
class BadgeDisc : public QWidget {
    Q_OBJECT
public:
    BadgeDisc(NowPlayingTrack::Source source, double badgeSize, double padding, double discOpacity,
        QWidget* parent = nullptr);

    NowPlayingTrack::Source source() const { return m_source; }
    void setSource(NowPlayingTrack::Source source);
    void setOpacity(double opacity);
    double side() const { return m_badgeSize + 2 * m_padding; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    NowPlayingTrack::Source m_source;
    double m_badgeSize;
    double m_padding;
    double m_discOpacity;
    double m_opacity = 1;
    // The disc and badge as last drawn: finding the player's icon reads desktop entries, so it
    // is done once per look rather than once per frame.
    QPixmap m_drawn;
    QString m_drawnKey;
};

// The compact music readout: cover with the player's badge, title and artist, and at the end
// a play or pause glyph after a transport command, else the equaliser while playing or a pause
// glyph while paused. It serves as the short activity on a start, pause or track change and as
// the resident readout of the collapsed notch. Each new readout drops 5 pt into place while
// fading in.
class NowPlayingActivityView : public QWidget {
    Q_OBJECT
public:
    enum class Transport { play, pause };

    // `identity` tells readouts apart: one shown readout takes a newer state of the same
    // identity in place instead of landing again (an activity's token; 0 for the resident one).
    NowPlayingActivityView(const NowPlayingTrack& track, const QImage& artwork, const SurfaceMetrics& metrics,
        std::optional<Transport> transport, std::uint64_t identity = 0, QWidget* parent = nullptr);

    const NowPlayingTrack& track() const { return m_track; }
    const QImage& artwork() const;
    const SurfaceMetrics& metrics() const { return m_metrics; }
    std::optional<Transport> transport() const { return m_transport; }
    std::uint64_t identity() const { return m_identity; }
    bool isLanded() const { return m_landing.hasBegun(); }
    bool isAnimating() const { return m_landing.isMoving(); }

    // Takes over a freshly built readout's track, cover and glyph; a cover that arrives fades in.
    void adopt(const NowPlayingActivityView& fresh);

    // "Paused" after a pause command, else the artist.
    static QString artistLine(const NowPlayingTrack& track, std::optional<Transport> transport);
    // The glyph at the end of the row, or empty while the equaliser shows instead.
    static QString trailingSymbol(const NowPlayingTrack& track, std::optional<Transport> transport);
    // clamp(content height × 0.55, 22, 60).
    static double artworkSide(const SurfaceMetrics& metrics);

    struct Layout {
        QRectF row;
        QRectF artwork;
        QRectF badge;
        QRectF title;
        QRectF artist;
        QRectF trailing;
    };
    // Where everything goes in a view of `size`, landed; the landing shifts the row up by 5 pt.
    static Layout layout(
        const NowPlayingTrack& track, std::optional<Transport> transport, const SurfaceMetrics& metrics, QSizeF size);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void place();

    NowPlayingTrack m_track;
    SurfaceMetrics m_metrics;
    std::optional<Transport> m_transport;
    std::uint64_t m_identity;
    Layout m_layout; // as of the last place()
    TextLayer m_text;
    ArtworkView* m_artwork;
    BadgeDisc* m_badge;
    Equaliser* m_equaliser;
    Landing m_landing;
};

// The music tab of the expanded surface: a large cover with the player's badge, the title (with
// the equaliser while playing) and artist, a live scrubber, and previous, play or pause, and
// next buttons whose actions the shell wires to the monitor.
class NowPlayingExpandedView : public QWidget {
    Q_OBJECT
public:
    NowPlayingExpandedView(const NowPlayingTrack& track, const QImage& artwork, const SurfaceMetrics& metrics,
        std::function<void()> onPlayPause, std::function<void()> onNext, std::function<void()> onPrevious,
        std::function<void(double)> onScrub, QWidget* parent = nullptr);

    const NowPlayingTrack& track() const { return m_track; }
    const QImage& artwork() const;
    const SurfaceMetrics& metrics() const { return m_metrics; }
    // Whether the scrubber takes drags: the player must be able to seek, and the length be known.
    bool isSeekable() const { return m_isSeekable; }
    void setSeekable(bool seekable);

    // Takes over a freshly built tab's track, cover and seekability, keeping a drag in progress.
    void adopt(const NowPlayingExpandedView& fresh);

    Scrubber* scrubber() const { return m_scrubber; }
    TransportButton* previousButton() const { return m_previous; }
    TransportButton* playPauseButton() const { return m_playPause; }
    TransportButton* nextButton() const { return m_next; }
    ArtworkView* artworkView() const { return m_artwork; }
    bool showsEqualiser() const;

    // clamp(max(content height, 0) − space(22), 34, 200).
    static double artworkSide(const SurfaceMetrics& metrics);
    static bool showsEqualiser(const NowPlayingTrack& track, const SurfaceMetrics& metrics);
    static QString playPauseSymbol(const NowPlayingTrack& track);

    struct Layout {
        QRectF artwork;
        QRectF badge;
        QRectF column;
        QRectF title;
        QRectF equaliser; // empty when none shows
        QRectF artist;
        QRectF scrubber;
        QRectF previous;
        QRectF playPause;
        QRectF next;
    };
    static Layout layout(const NowPlayingTrack& track, const SurfaceMetrics& metrics, QSizeF size);

    std::function<void()> onPlayPause;
    std::function<void()> onNext;
    std::function<void()> onPrevious;
    std::function<void(double)> onScrub;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void place();

    NowPlayingTrack m_track;
    SurfaceMetrics m_metrics;
    bool m_isSeekable = true;
    Layout m_layout; // as of the last place()
    TextLayer m_text;
    ArtworkView* m_artwork;
    BadgeDisc* m_badge;
    Equaliser* m_equaliser;
    Scrubber* m_scrubber;
    TransportButton* m_previous;
    TransportButton* m_playPause;
    TransportButton* m_next;
};

} // namespace nimbra
