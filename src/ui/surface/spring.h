#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

// A small animation kit: a damped spring described the way designers tune it (response and
// damping fraction), solved in closed form so a frame at any time costs a few operations and
// retargeting mid-flight keeps position and velocity continuous.
namespace nimbra {

struct Spring {
    // Seconds for one undamped oscillation; 0 or less snaps to the target at once.
    double response = 0.2;
    // 1 settles without overshoot, below 1 overshoots, above 1 creeps in.
    double dampingFraction = 1.0;

    struct State {
        double displacement; // distance from the target
        double velocity; // units per second
    };

    // Where a spring released at `displacement` with `velocity` is `elapsed` seconds later.
    State evaluate(double displacement, double velocity, double elapsed) const;

    bool operator==(const Spring&) const = default;
};

// One animated number following a spring towards its target.
class SpringValue {
public:
    explicit SpringValue(double value = 0)
        : m_target(value)
        , m_from(0)
        , m_velocity(0)
    {
    }

    // Starts towards `target` from wherever the value is at `now`, keeping its velocity.
    void animate(double target, const Spring& spring, double now);
    // Jumps to `target` with no motion.
    void set(double target);

    double value(double now) const;
    double velocity(double now) const;
    double target() const { return m_target; }
    // True while the value is still visibly away from its target or moving.
    bool isMoving(double now) const;

private:
    Spring::State state(double now) const;

    double m_target;
    double m_from; // displacement from the target when the motion began
    double m_velocity; // velocity when the motion began
    double m_start = 0;
    Spring m_spring;
};

// Calls `onFrame` 120 times a second, only between start() and stop(): the owner stops it as
// soon as nothing moves, so an idle view has no timer. Qt's timers count whole milliseconds, so
// each frame is aimed at its own 1/120 s mark from the start (8 or 9 ms apart) rather than
// every 8 ms, which would be 125 Hz.
class FrameTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int framesPerSecond = 120;

    explicit FrameTimer(QObject* parent = nullptr);

    void start();
    void stop();
    bool isActive() const { return m_running; }

    // Milliseconds from the start of a run to its frame `frame` (1-based).
    static int due(int frame);

    std::function<void()> onFrame;

private:
    void arm();
    void fire();

    QTimer m_timer;
    QElapsedTimer m_run;
    int m_frame = 0;
    bool m_running = false;
};

// A readout's entrance: a value that springs from 0 to 1 the first time it is begun (when the
// view is first shown), with `onFrame` called on every frame only while it moves.
class Landing : public QObject {
    Q_OBJECT
public:
    explicit Landing(const Spring& spring, QObject* parent = nullptr);

    // The first call starts the landing; later calls change nothing.
    void begin();
    bool hasBegun() const { return m_begun; }
    bool isMoving() const { return m_frames.isActive(); }
    void stop() { m_frames.stop(); }
    // 0 before, 1 once landed; the spring may carry it past 1 on the way. Read at the uptime.
    double value() const;

    std::function<void()> onFrame;

private:
    Spring m_spring;
    SpringValue m_value { 0 };
    FrameTimer m_frames;
    bool m_begun = false;
};

} // namespace nimbra
