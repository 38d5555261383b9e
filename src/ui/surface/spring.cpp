#include "ui/surface/spring.h"

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
        return {x0, v0};
    // A spring with no usable response, or a value thrown out of range, snaps to its target.
    if (!(response > 0) || !std::isfinite(response) || !std::isfinite(x0) || !std::isfinite(v0))
        return {0, 0};
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
        return {x, v};
    }
    if (zeta == 1) {
        const double decay = std::exp(-w0 * t);
        const double b = v0 + w0 * x0;
        return {decay * (x0 + b * t), decay * (b - w0 * (x0 + b * t))};
    }
    const double root = std::sqrt(zeta * zeta - 1);
    const double r1 = -w0 * (zeta - root);
    const double r2 = -w0 * (zeta + root);
    const double c2 = (v0 - r1 * x0) / (r2 - r1);
    const double c1 = x0 - c2;
    const double e1 = std::exp(r1 * t), e2 = std::exp(r2 * t);
    return {c1 * e1 + c2 * e2, c1 * r1 * e1 + c2 * r2 * e2};
}

Spring::State SpringValue::state(double now) const { return spring_.evaluate(from_, velocity_, now - start_); }

void SpringValue::animate(double target, const Spring& spring, double now)
{
    if (!std::isfinite(target))
        return;
    const Spring::State current = state(now);
    const double position = target_ + current.displacement;
    if (target == target_ && current.displacement == 0 && current.velocity == 0)
        return;
    from_ = position - target;
    velocity_ = current.velocity;
    target_ = target;
    start_ = now;
    spring_ = spring;
    if (!isMoving(now))
        set(target);
}

void SpringValue::set(double target)
{
    if (!std::isfinite(target))
        return;
    target_ = target;
    from_ = 0;
    velocity_ = 0;
}

double SpringValue::value(double now) const
{
    if (!isMoving(now))
        return target_;
    return target_ + state(now).displacement;
}

double SpringValue::velocity(double now) const { return isMoving(now) ? state(now).velocity : 0; }

bool SpringValue::isMoving(double now) const
{
    if (from_ == 0 && velocity_ == 0)
        return false;
    const Spring::State s = state(now);
    return std::abs(s.displacement) > kRestDisplacement || std::abs(s.velocity) > kRestVelocity;
}

FrameTimer::FrameTimer(QObject* parent)
    : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(8);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        if (onFrame)
            onFrame();
    });
}

void FrameTimer::start()
{
    if (!timer_.isActive())
        timer_.start();
}

void FrameTimer::stop() { timer_.stop(); }

} // namespace nimbra
