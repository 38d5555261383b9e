#pragma once

#include "core/system_level.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/spring.h"
#include "ui/surface/surface_metrics.h"

#include <QColor>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <optional>

class QPainter;

namespace nimbra {

// The capsule bar inside a level readout. Any level above zero shows a pill at least 5 pt
// wide; zero shows no pill at all.
struct LevelTrack {
    double fraction = 0; // 0...1
    QColor tint;
    bool isMuted = false;

    static constexpr double minimumPill = 5;

    // Width of the filled pill in a track `width` wide.
    double fillWidth(double width) const;
    void paint(QPainter& painter, const QRectF& rect) const;
};

// One volume, brightness or keyboard-backlight reading: symbol, title with an optional detail
// line, the percentage, and a bar underneath. Sizes pass through the metrics when there are
// any (the notch), and are the nominal ones when there are none (the settings preview).
class LevelReadout : public QWidget {
    Q_OBJECT
public:
    LevelReadout(const SystemLevel& level, std::optional<SurfaceMetrics> metrics, QWidget* parent = nullptr);

    const SystemLevel& level() const { return m_level; }
    const std::optional<SurfaceMetrics>& metrics() const { return m_metrics; }
    // A new reading: the bar springs to the new value and the tint eases to the new mute state.
    void setLevel(const SystemLevel& level);
    // Drawn at this opacity; hosts fade the readout in with it.
    void setOpacity(double opacity);

    // The size scaled by the metrics, or the nominal one without metrics.
    double scaled(double nominal) const { return scaled(m_metrics, nominal); }
    static double scaled(const std::optional<SurfaceMetrics>& metrics, double nominal);
    // The title: "Muted", else the kind's title.
    static QString title(const SystemLevel& level);
    // round(value × 100) followed by "%", shown even while muted.
    static QString percentText(const SystemLevel& level);
    static QColor tint(const SystemLevel& level, const NotchTheme& theme);
    // Height of the bar: s(5) kept within 4...10.
    static double trackHeight(const std::optional<SurfaceMetrics>& metrics);
    // The height the readout needs for a reading (header row, gap and bar).
    static double contentHeight(const SystemLevel& level, const std::optional<SurfaceMetrics>& metrics);

    // Draws a readout into `rect` (top-aligned). `shownFraction` is the bar's current value
    // and `muteBlend` how far the tint has moved to the muted one (0...1); painting a settled
    // readout passes the level's own values.
    static void paint(QPainter& painter, const QRectF& rect, const SystemLevel& level,
        const std::optional<SurfaceMetrics>& metrics, const NotchTheme& theme, double shownFraction, double muteBlend);

    // The two halves of paint(): the symbol and texts, and the bar beneath them.
    static void paintHeader(QPainter& painter, const QRectF& rect, const SystemLevel& level,
        const std::optional<SurfaceMetrics>& metrics, const NotchTheme& theme, double muteBlend);
    static void paintTrack(QPainter& painter, const QRectF& rect, const SystemLevel& level,
        const std::optional<SurfaceMetrics>& metrics, const NotchTheme& theme, double shownFraction, double muteBlend);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // True while the bar or the tint is still moving.
    bool isAnimating() const;
    // Whether the frame timer runs (only while something moves).
    bool isTicking() const { return m_frames.isActive(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void tick();

    SystemLevel m_level;
    std::optional<SurfaceMetrics> m_metrics;
    double m_opacity = 1;
    SpringValue m_fraction;
    double m_muteFrom = 0;
    double m_muteTo = 0;
    double m_muteStart = -1; // uptime at which the tint began to change; < 0 while settled
    FrameTimer m_frames;

    struct HeaderKey {
        SystemLevel level;
        NotchTheme theme;
        double blend = -1;
        QSize pixels;
        bool operator==(const HeaderKey&) const = default;
    };
    QPixmap m_header; // the drawn header of m_headerKey
    HeaderKey m_headerKey;
};

// A small animated bar graph. While animating each bar moves between a quarter and the full
// height at its own speed, redrawn at most 24 times a second and only while visible; a paused
// graph draws every bar at a fixed height and runs no timer.
class Equaliser : public QWidget {
    Q_OBJECT
public:
    Equaliser(bool isAnimating, const QColor& tint, int barCount, QWidget* parent = nullptr);

    bool isAnimating() const { return m_isAnimating; }
    void setIsAnimating(bool animating);
    QColor tint() const { return m_tint; }
    void setTint(const QColor& tint);
    int barCount() const { return m_barCount; }
    void setBarCount(int count);

    static constexpr double pausedFraction = 0.5875;
    // Seconds since 1 January 2001, the time base of the bars' motion.
    static double timelineSeconds();
    // Height fraction of bar `index` at `t`, or the paused height when `t` is none.
    static double barFraction(int index, std::optional<double> t);
    // One frame: `barCount` bars in the even slots of 2n − 1 equal slots.
    static void paint(QPainter& painter, const QRectF& rect, int barCount, const QColor& tint, std::optional<double> t);

    // Whether the redraw timer runs (for tests and the idle check).
    bool isTicking() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void syncTimer();

    bool m_isAnimating;
    QColor m_tint;
    int m_barCount;
    QTimer m_timer;
};

} // namespace nimbra
