#pragma once

#include "core/timers.h"
#include "core/uptime.h"
#include "ui/surface/surface_metrics.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class QPainter;

namespace nimbra {

struct NotchTheme;

// The timers tab: mode tabs, a large time readout (with a progress ring for the countdown and
// the focus timer), one support line (the latest lap, the countdown's end time or presets, the
// focus cycle) and the controls. It owns no timer: the shell hands in a copy of its timers
// and carries out every press. Between the shell's updates it refreshes itself only while
// something on it moves: running digits, or a blinking readout.
class TimerSurfaceView : public QWidget {
    Q_OBJECT
public:
    struct Callbacks {
        std::function<void(TimerMode)> onMode;
        std::function<void()> onPrimary;
        std::function<void()> onSecondary;
        std::function<void()> onReset;
        std::function<void(double)> onAdjust;
    };

    // The countdown presets: label and seconds added.
    struct Preset {
        const char* label;
        double seconds;
    };
    static constexpr Preset presets[] = { { "1m", 60 }, { "5m", 300 }, { "10m", 600 }, { "25m", 1500 } };

    // Where everything goes. With room to spare the readout, support line and controls stack
    // below the tabs; on a shorter surface the controls stand beside the readout instead.
    struct Layout {
        QList<QRectF> tabs;
        QRectF hero;
        std::optional<QRectF> support; // none on a minimal surface
        // Primary, secondary and reset, each in a place of its own whether or not it shows, so
        // that nothing moves under the pointer when a control comes or goes.
        QList<QRectF> controls;
        bool stacked = true;
    };

    // The timers are read on `clocks.withSleep`, the ring's slide on `clocks.awake`.
    TimerSurfaceView(const TimerSet& timers, const SurfaceMetrics& metrics, Callbacks callbacks, Clocks clocks = {},
        QWidget* parent = nullptr);

    const TimerSet& timers() const { return m_timers; }
    const SurfaceMetrics& metrics() const { return m_metrics; }

    // The view's own refresh while shown, in seconds; none while nothing moves.
    static std::optional<double> refreshInterval(const TimerSet& timers, double now);
    // The selected mode's urgency. A finished countdown stays urgent (and keeps blinking).
    static TimerUrgency urgency(const TimerSet& timers, double now);
    static bool showsReset(const TimerSet& timers);
    // The ring's fill for the selected mode; none for the stopwatch, which has no ring.
    static std::optional<double> countdownProgress(const TimerSet& timers, double now);
    // The support line's text, or none where it shows the presets or the focus cycle.
    static std::optional<QString> caption(const TimerSet& timers, double now, const QDateTime& wallClock);
    static Layout layout(QSizeF size, const SurfaceMetrics& metrics, const TimerSet& timers);

    // Takes the shell's newer copy of the timers, keeping its buttons (and a press in progress).
    bool adopt(const TimerSurfaceView& fresh);

    bool isRefreshing() const { return m_refresh.isActive(); }
    QList<QAbstractButton*> modeTabs() const { return m_tabs; }
    QList<QAbstractButton*> presetChips() const { return m_chips; }
    QAbstractButton* primaryControl() const { return m_primary; }
    QAbstractButton* secondaryControl() const { return m_secondary; }
    QAbstractButton* resetControl() const { return m_reset; }

    // The readout and support line (the buttons draw themselves).
    static void paint(QPainter& painter, const QRectF& rect, const TimerSet& timers, const SurfaceMetrics& metrics,
        const NotchTheme& theme, double now, double ringProgress);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void sync();
    void scheduleRefresh();
    double ringProgress() const;

    TimerSet m_timers;
    SurfaceMetrics m_metrics;
    Callbacks m_callbacks;
    Clocks m_clocks;
    QList<QAbstractButton*> m_tabs;
    QList<QAbstractButton*> m_chips;
    QAbstractButton* m_primary;
    QAbstractButton* m_secondary;
    QAbstractButton* m_reset;
    QTimer m_refresh;
    // A jump of the ring (a reset, a skip, a new phase) slides over 0.2 s.
    double m_ringFrom = 0;
    double m_ringStart = -1;
};

} // namespace nimbra
