#pragma once

#include "core/eye_motion.h"
#include "platform/pointer_watch.h"

#include <QPointF>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace nimbra {

class PointerWatch;

// The tracker's animation clock: one repeating tick, started afresh at each interval change
// and stopped while nothing can move.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual void start(double interval, std::function<void()> onTick) = 0;
    virtual void stop() = 0;
    // The next tick comes `seconds` from now instead; the ones after it keep the interval.
    virtual void delayNext(double seconds) = 0;
};

// The clock on the event loop.
class TimerTickClock final : public TickClock {
public:
    TimerTickClock();
    void start(double interval, std::function<void()> onTick) override;
    void stop() override;
    void delayNext(double seconds) override;

private:
    QTimer m_timer;
    int m_intervalMs = 0;
    bool m_delayed = false;
    std::function<void()> m_onTick;
};

// Turns the pointer, the time since it last moved, the blink schedule, click winks and the
// tired flag into two pupil offsets and two lid closures, and calls `onChange` whenever they
// moved far enough to be worth redrawing. It draws nothing: the shell hands it where the
// drawn eyes sit and pushes every published frame into the eyes item.
//
// Its clock runs at 60 Hz only while something moves, at 12 Hz while drowsy and at 5 Hz while
// it only waits for the next blink; it stops when nothing can change until the pointer moves.
// While the pointer moves, its reports draw the frames: a report that finds a frame due ticks
// at once and pushes the clock's next tick back, so a frame costs one wake-up, not one for the
// report and another for the clock, and the pointer's place is read once a frame however many
// reports came.
class EyeTracker {
public:
    enum class ClockMode { live, blinkDoze, drowse };

    struct Centres {
        QPointF left;
        QPointF right;
        friend bool operator==(const Centres&, const Centres&) = default;
    };

    // `watch` may be null (no pointer reports on this display server); the defaults are the
    // event-loop clock, the system uptime and the system random source.
    explicit EyeTracker(PointerWatch* watch, std::unique_ptr<TickClock> clock = {}, std::function<double()> now = {},
        RandomDraw draw = systemRandomDraw);
    ~EyeTracker();
    EyeTracker(const EyeTracker&) = delete;
    EyeTracker& operator=(const EyeTracker&) = delete;

    static constexpr double liveInterval = 1.0 / 60;
    static constexpr double blinkDozeInterval = 0.2;
    static constexpr double drowseInterval = 1.0 / 12;
    // A pointer report may draw the frame this much before the clock would.
    static constexpr double earlyFrame = liveInterval / 8;
    // While reports keep coming, the clock waits this long for the next one before it ticks.
    static constexpr double reportWait = PointerWatch::fastestMoveReports + liveInterval;
    static constexpr double tiredLid = 0.32;
    static constexpr double winkDuration = 0.16;

    // Begins watching the pointer (and clicks, when the style reacts to them); a second call
    // while watching does nothing.
    void start();
    // Stops watching and stops the clock; the eyes keep their last look.
    void stop();
    // Takes a new style; click watching follows it while watching. Runs the clock.
    void apply(const EyeStyle& style);

    bool isTired() const { return m_isTired; }
    // A change runs the clock, so the lids ease to the new look.
    void setTired(bool tired);

    QPointF pointer() const { return m_pointer; }
    QPointF leftPupil() const { return m_leftPupil; }
    QPointF rightPupil() const { return m_rightPupil; }
    double lidLeft() const { return m_lidLeft; }
    double lidRight() const { return m_lidRight; }
    const EyeStyle& style() const { return m_style; }
    EyeWakefulness::Stage stage() const { return m_stage; }
    std::optional<ClockMode> clockMode() const { return m_clockMode; }
    bool isWatching() const { return m_watchingMoves; }
    bool isWatchingClicks() const { return m_watchingClicks; }

    // Called after each publish.
    std::function<void()> onChange;
    // Screen positions (model coordinates) of the two drawn eyes.
    Centres eyeCentres;
    // How far a pupil may move from its eye's centre.
    qreal travel = 5.0;

private:
    void pointerMoved();
    void clicked(bool rightButton);
    void watchClicks();
    void run(ClockMode mode);
    void stopClock();
    void tick();
    bool hasChanged() const;

    struct Frame {
        QPointF leftPupil;
        QPointF rightPupil;
        double lidLeft = 0;
        double lidRight = 0;
        double tired = 0;
    };

    PointerWatch* m_watch;
    std::unique_ptr<TickClock> m_clock;
    std::function<double()> m_now;
    RandomDraw m_draw;

    QPointF m_pointer;
    QPointF m_leftPupil;
    QPointF m_rightPupil;
    double m_lidLeft = 0;
    double m_lidRight = 0;
    bool m_isTired = false;
    EyeStyle m_style;
    bool m_watchingMoves = false;
    bool m_watchingClicks = false;
    BlinkClock m_blink;
    std::array<std::optional<double>, 2> m_winkStartedAt;
    double m_lastPointerMoveAt = 0;
    // A move was reported since the pointer's place was last read.
    bool m_pointerMoved = false;
    double m_lastTickAt = 0;
    std::optional<Frame> m_emitted;
    EyeWakefulness::Stage m_stage = EyeWakefulness::Stage::awake;
    std::optional<ClockMode> m_clockMode;
};

QString rawValue(EyeTracker::ClockMode mode);

} // namespace nimbra
