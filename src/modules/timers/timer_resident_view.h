#pragma once

#include "core/activity.h"
#include "core/timers.h"
#include "ui/surface/spring.h"
#include "ui/surface/surface_metrics.h"

#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QPainter;

namespace nimbra {

struct NotchTheme;

// The timers feature as the notch knows it: the resident module while a timer is active and
// the module of the announcement of a finished one.
struct TimerResident {
    static const ModuleID moduleID;
};

// The resident readout below the notch while a timer is active: the mode's title over its
// symbol and time. It blinks through the last seconds of a countdown, and only then runs a
// timer of its own, while it is on screen.
class TimerResidentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int blinkIntervalMs = 80;

    TimerResidentView(TimerMode mode, const QString& label, bool isRunning, TimerUrgency urgency,
        const SurfaceMetrics& metrics, QWidget* parent = nullptr);

    TimerMode mode() const { return m_mode; }
    const QString& label() const { return m_label; }
    bool isRunning() const { return m_isRunning; }
    TimerUrgency urgency() const { return m_urgency; }
    const SurfaceMetrics& metrics() const { return m_metrics; }
    bool isBlinking() const { return m_blink.isActive(); }

    // "Timer" while running, "Timer · paused" otherwise.
    static QString titleText(TimerMode mode, bool isRunning);
    // Takes a newer reading of the same readout, so a running clock never rebuilds the view.
    bool adopt(const TimerResidentView& fresh);

    static void paint(QPainter& painter, const QRectF& rect, TimerMode mode, const QString& label, bool isRunning,
        TimerUrgency urgency, const SurfaceMetrics& metrics, const NotchTheme& theme, double now);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void syncBlink();

    TimerMode m_mode;
    QString m_label;
    bool m_isRunning;
    TimerUrgency m_urgency;
    SurfaceMetrics m_metrics;
    QTimer m_blink;
};

// The announcement of a finished countdown or focus phase: a swinging bell beside a title and
// a detail line. It lands with a spring when first shown, then pulses and swings every quarter
// second for as long as it is on screen. Announcements of one tick take turns, each landing
// afresh for its own `eachFor` seconds.
class TimerFinishedView : public QWidget {
    Q_OBJECT
public:
    static constexpr Spring landingSpring { 0.3, 0.62 };
    static constexpr double swingDegrees = 13;
    static constexpr double eachFor = 3.2;

    // `identity`: the announcing activity's token, or 0 for the resident readout of a finished
    // countdown. `clock` gives seconds of uptime (the system's when empty).
    TimerFinishedView(QList<TimerFinish> finishes, const SurfaceMetrics& metrics, std::uint64_t identity = 0,
        std::function<double()> clock = {}, QWidget* parent = nullptr);
    TimerFinishedView(const TimerFinish& finish, const SurfaceMetrics& metrics, std::uint64_t identity = 0,
        QWidget* parent = nullptr);

    // The announcement shown now.
    const TimerFinish& finish() const;
    const QList<TimerFinish>& finishes() const { return m_finishes; }
    std::uint64_t identity() const { return m_identity; }
    const SurfaceMetrics& metrics() const { return m_metrics; }
    bool isLanded() const { return m_landing->hasBegun(); }
    bool isSwinging() const { return m_swing.isActive(); }

    // Lit for half a second, dimmed for the next half; the bell swings every quarter second.
    static bool isLit(double now);
    static double tilt(double now);
    // The shown announcement stays (without landing again) for the resident readout of the
    // same finish, or for the same activity; another activity is a new announcement.
    bool adopt(const TimerFinishedView& fresh);

    // `landing` runs from 0 (not landed) to 1 (landed); the spring may carry it past 1.
    static void paint(QPainter& painter, const QRectF& rect, const TimerFinish& finish, const SurfaceMetrics& metrics,
        const NotchTheme& theme, double landing, bool lit, double tilt);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void scheduleSwing();
    qsizetype shownIndex() const;
    // When the next announcement's turn has come, it lands anew.
    void followTurn();
    void landAgain();

    QList<TimerFinish> m_finishes;
    SurfaceMetrics m_metrics;
    std::uint64_t m_identity;
    std::function<double()> m_clock;
    std::unique_ptr<Landing> m_landing;
    // When the view first showed, and the announcement that last landed.
    std::optional<double> m_shownAt;
    qsizetype m_landed = 0;
    QTimer m_swing;
};

} // namespace nimbra
