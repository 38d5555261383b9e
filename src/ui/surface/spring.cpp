#include "ui/surface/spring.h"

#include "core/uptime.h"

#include <cmath>
#include <numbers>

namespace nimbra {

namespace {
constexpr double kRestDisplacement = 0.004;
constexpr double kRestVelocity = 0.04;
} // namespace

Spring::State Spring::evaluate(double x0, double v0, double t) const
{
    if (!(t > 0))
        return { x0, v0 };
    // A spring with no usable response, or a value thrown out of range, snaps to its target.
    if (!(response > 0) || !std::isfinite(response) || !std::isfinite(x0) || !std::isfinite(v0))
        return { 0, 0 };
    const double w0 = 2 * std::numbers::pi / response;
    const double zeta = std::isfinite(dampingFraction) ? std::max(0.0, dampingFraction) : 1.0;
    if (zeta < 1) {
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        const double decay = std::exp(-zeta * w0 * t);
        const double a = x0;
        const double b = (v0 + zeta * w0 * x0) / wd;
        const double c = std::cos(wd * t), s = std::sin(wd * t);
        const double x = decay * (a * c + b * s);
        const double v = decay * ((-a * wd + b * -zeta * w0) * s + (b * wd - zeta * w0 * a) * c);
        return { x, v };
    }
    if (zeta == 1) {
        const double decay = std::exp(-w0 * t);
        const double b = v0 + w0 * x0;
        return { decay * (x0 + b * t), decay * (b - w0 * (x0 + b * t)) };
    }
    const double root = std::sqrt(zeta * zeta - 1);
    const double r1 = -w0 * (zeta - root);
    const double r2 = -w0 * (zeta + root);
    const double c2 = (v0 - r1 * x0) / (r2 - r1);
    const double c1 = x0 - c2;
    const double e1 = std::exp(r1 * t), e2 = std::exp(r2 * t);
    return { c1 * e1 + c2 * e2, c1 * r1 * e1 + c2 * r2 * e2 };
}

Spring::State SpringValue::state(double now) const
{
    return m_spring.evaluate(m_from, m_velocity, now - m_start);
}

void SpringValue::animate(double target, const Spring& spring, double now)
{
    if (!std::isfinite(target))
        return;
    const Spring::State current = state(now);
    const double position = m_target + current.displacement;
    if (target == m_target && current.displacement == 0 && current.velocity == 0)
        return;
    m_from = position - target;
    m_velocity = current.velocity;
    m_target = target;
    m_start = now;
    m_spring = spring;
    if (!isMoving(now))
        set(target);
}

void SpringValue::set(double target)
{
    if (!std::isfinite(target))
        return;
    m_target = target;
    m_from = 0;
    m_velocity = 0;
}

double SpringValue::value(double now) const
{
    if (!isMoving(now))
        return m_target;
    return m_target + state(now).displacement;
}

double SpringValue::velocity(double now) const
{
    return isMoving(now) ? state(now).velocity : 0;
}

bool SpringValue::isMoving(double now) const
{
    if (m_from == 0 && m_velocity == 0)
        return false;
    const Spring::State s = state(now);
    return std::abs(s.displacement) > kRestDisplacement || std::abs(s.velocity) > kRestVelocity;
}

FrameTimer::FrameTimer(QObject* parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { fire(); });
}

int FrameTimer::due(int frame)
{
    return int(std::lround(frame * 1000.0 / framesPerSecond));
}

void FrameTimer::start()
{
    if (m_running)
        return;
    m_running = true;
    m_run.start();
    m_frame = 0;
    arm();
}

void FrameTimer::stop()
{
    m_running = false;
    m_timer.stop();
}

void FrameTimer::arm()
{
    qint64 wait = due(m_frame + 1) - m_run.elapsed();
    if (wait < 0) {
        // A frame came late (a busy main thread): count the next ones from now instead of
        // firing a burst to catch up.
        m_run.restart();
        m_frame = 0;
        wait = due(1);
    }
    m_timer.start(int(wait));
}

void FrameTimer::fire()
{
    if (!m_running)
        return;
    ++m_frame;
    if (onFrame)
        onFrame();
    // onFrame may have stopped the timer, or stopped and started it again.
    if (m_running && !m_timer.isActive())
        arm();
}

Landing::Landing(const Spring& spring, QObject* parent)
    : QObject(parent)
    , m_spring(spring)
    , m_frames(this)
{
    m_frames.onFrame = [this] {
        if (onFrame)
            onFrame();
        if (!m_value.isMoving(uptime()))
            m_frames.stop();
    };
}

void Landing::begin()
{
    if (m_begun)
        return;
    m_begun = true;
    m_value.animate(1, m_spring, uptime());
    m_frames.start();
}

double Landing::value() const
{
    return m_value.value(uptime());
}

} // namespace nimbra
