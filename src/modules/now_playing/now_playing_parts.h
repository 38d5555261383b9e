#pragma once

#include "core/now_playing.h"
#include "ui/surface/spring.h"
#include "ui/surface/surface_metrics.h"

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class QPainter;

namespace nimbra {

struct NotchTheme;

// A track's cover clipped to a rounded square with a hairline border, or, without one, a soft
// gradient under a music note. A cover that arrives later fades in over a quarter second.
class ArtworkView : public QWidget {
    Q_OBJECT
public:
    static constexpr double fadeSeconds = 0.25;

    ArtworkView(const QImage& image, double cornerRadius, QWidget* parent = nullptr);

    const QImage& image() const { return m_image; }
    double cornerRadius() const { return m_cornerRadius; }
    void setImage(const QImage& image);
    bool isFading() const { return m_frames.isActive(); }
    // Drawn at this opacity; hosts fade the cover in with them.
    void setOpacity(double opacity);

    // One frame: `image` (may be null) over the placeholder at `reveal` (0...1).
    static void paint(QPainter& painter, const QRectF& rect, const QImage& image, double cornerRadius,
        const NotchTheme& theme, double reveal = 1);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double reveal() const;
    // The cover scaled to fill `pixels` (cropped to keep its aspect ratio), made once per size.
    const QPixmap& scaledCover(QSize pixels);

    QImage m_image;
    double m_cornerRadius;
    double m_fadeStart = -1; // uptime at which the cover began to fade in; < 0 when settled
    double m_opacity = 1;
    FrameTimer m_frames;
    QPixmap m_cover;
};

// The draggable seek bar: a faint capsule track, the elapsed part filled, and a knob that shows
// while the pointer is over the bar or drags it. A press anywhere on the bar starts a drag, so a
// click seeks; a bar that is not seekable takes no drags.
class ScrubBar : public QWidget {
    Q_OBJECT
public:
    static constexpr double knobFadeSeconds = 0.12;

    ScrubBar(double fraction, bool isSeekable, const SurfaceMetrics& metrics,
        std::function<void(std::optional<double>)> onPreview, std::function<void(double)> onCommit,
        QWidget* parent = nullptr);

    double fraction() const { return m_fraction; }
    void setFraction(double fraction);
    bool isSeekable() const { return m_isSeekable; }
    void setSeekable(bool seekable);
    bool isHovering() const { return m_isHovering; }
    bool isDragging() const { return m_isDragging; }
    bool isKnobFading() const { return m_frames.isActive(); }
    // The fraction under `x` (bar coordinates), kept within 0...1.
    double fractionAt(double x) const;

    static double trackHeight(const SurfaceMetrics& metrics);
    static double knobDiameter(const SurfaceMetrics& metrics);
    // Where the knob's leading edge goes for a fraction: centred on it, kept inside the bar.
    static double knobLeft(double width, double fraction, double diameter);
    static void paint(QPainter& painter, const QRectF& rect, double fraction, double knobOpacity,
        const SurfaceMetrics& metrics, const NotchTheme& theme);

    std::function<void(std::optional<double>)> onPreview;
    std::function<void(double)> onCommit;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double knobOpacity() const;
    void setKnobState(bool hovering, bool dragging);

    double m_fraction;
    bool m_isSeekable;
    SurfaceMetrics m_metrics;
    bool m_isHovering = false;
    bool m_isDragging = false;
    double m_knobFrom = 0;
    double m_knobStart = -1; // uptime at which the knob began to fade; < 0 when settled
    FrameTimer m_frames;
};

// Elapsed time, the seek bar and the remaining time. While the track plays and the scrubber is
// on screen it moves four times a second from the track's anchor, asking the player nothing;
// while a drag is in progress the bar and the elapsed time follow the pointer.
class Scrubber : public QWidget {
    Q_OBJECT
public:
    static constexpr int tickMs = 250;

    Scrubber(const NowPlayingTrack& track, bool isSeekable, const SurfaceMetrics& metrics,
        std::function<void(double)> onScrub, QWidget* parent = nullptr);

    const NowPlayingTrack& track() const { return m_track; }
    void setTrack(const NowPlayingTrack& track, bool isSeekable);
    std::optional<double> dragFraction() const { return m_dragFraction; }
    ScrubBar* bar() const { return m_bar; }
    bool isTicking() const { return m_tick.isActive(); }

    // The two time texts at `now`: elapsed (the dragged point while dragging) and remaining.
    QString elapsedText(double now) const;
    QString remainingText(double now) const;
    // The row's height for a surface.
    static double rowHeight(const SurfaceMetrics& metrics);

    std::function<void(double)> onScrub;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void tick();
    void syncTimer();
    void layoutBar();

    NowPlayingTrack m_track;
    SurfaceMetrics m_metrics;
    std::optional<double> m_dragFraction;
    ScrubBar* m_bar;
    QTimer m_tick;
};

// One transport symbol as a flat button: brighter while hovered, its whole frame clickable.
class TransportButton : public QAbstractButton {
    Q_OBJECT
public:
    TransportButton(const QString& symbol, double size, std::function<void()> action, QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);
    bool isHovering() const { return m_hovering; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QString m_symbol;
    double m_size;
    bool m_hovering = false;
};

} // namespace nimbra
