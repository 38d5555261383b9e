#include "core/eye_motion.h"

#include <QRandomGenerator>
#include <cmath>
#include <numbers>

namespace nimbra {

namespace {

// NaN and infinities take the fallback.
double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

// NaN takes the fallback, an infinity the bound it points to; finite values stay as they are.
double boundedIfInfinite(double value, ClosedRange<double> range, double fallback)
{
    if (std::isnan(value))
        return fallback;
    return std::isinf(value) ? clamped(value, range) : value;
}

constexpr ClosedRange<double> blinkIntervalRange { 0.5, 600 };
constexpr ClosedRange<double> blinkVariationRange { 0, 0.9 };

// Closing over the first half of a blink, opening over the second.
double blinkCurve(double elapsed)
{
    constexpr double half = BlinkClock::duration / 2;
    const double lid = elapsed < half ? elapsed / half : 1 - (elapsed - half) / half;
    return clamped(lid, 0.0, 1.0);
}

} // namespace

QString rawValue(ClickBlink value)
{
    switch (value) {
    case ClickBlink::both:
        return QStringLiteral("both");
    case ClickBlink::matchingSide:
        return QStringLiteral("matchingSide");
    case ClickBlink::random:
        return QStringLiteral("random");
    }
    return {};
}

template <> std::optional<ClickBlink> fromRawValue<ClickBlink>(QStringView raw)
{
    for (ClickBlink value : kClickBlinks) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

QString title(ClickBlink value)
{
    switch (value) {
    case ClickBlink::both:
        return QStringLiteral("Both eyes");
    case ClickBlink::matchingSide:
        return QStringLiteral("The eye on that side");
    case ClickBlink::random:
        return QStringLiteral("Whichever feels like it");
    }
    return {};
}

QString detail(ClickBlink value)
{
    switch (value) {
    case ClickBlink::both:
        return QStringLiteral("A full blink on every click.");
    case ClickBlink::matchingSide:
        return QStringLiteral("Left click winks the left eye, right click the right.");
    case ClickBlink::random:
        return QStringLiteral("One eye at random, so it never looks mechanical.");
    }
    return {};
}

QString rawValue(BlinkFrequency value)
{
    switch (value) {
    case BlinkFrequency::rare:
        return QStringLiteral("rare");
    case BlinkFrequency::occasional:
        return QStringLiteral("occasional");
    case BlinkFrequency::often:
        return QStringLiteral("often");
    }
    return {};
}

template <> std::optional<BlinkFrequency> fromRawValue<BlinkFrequency>(QStringView raw)
{
    for (BlinkFrequency value : kBlinkFrequencies) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

QString title(BlinkFrequency value)
{
    switch (value) {
    case BlinkFrequency::rare:
        return QStringLiteral("Rarely");
    case BlinkFrequency::occasional:
        return QStringLiteral("Now and then");
    case BlinkFrequency::often:
        return QStringLiteral("Often");
    }
    return {};
}

BlinkTiming timing(BlinkFrequency value)
{
    switch (value) {
    case BlinkFrequency::rare:
        return { 11.5, 0.39 };
    case BlinkFrequency::occasional:
        return { 4.95, 0.515 };
    case BlinkFrequency::often:
        return { 2.35, 0.49 };
    }
    return { 4.95, 0.515 };
}

const EyeStyle& EyeStyle::defaultStyle()
{
    static const EyeStyle style;
    return style;
}

ClosedRange<double> EyeStyle::blinkRange() const
{
    const EyeStyle& fallback = defaultStyle();
    // clamped() pins infinities to the bounds; NaN means no setting, so the default.
    const double i = clamped(std::isnan(blinkInterval) ? fallback.blinkInterval : blinkInterval, blinkIntervalRange);
    const double v
        = clamped(std::isnan(blinkVariation) ? fallback.blinkVariation : blinkVariation, blinkVariationRange);
    const double lower = std::max(i * (1 - v), 0.4);
    const double upper = std::max(i * (1 + v), lower + 0.15);
    return { lower, upper };
}

EyeStyle EyeStyle::sanitized() const
{
    const EyeStyle& fallback = defaultStyle();
    EyeStyle style = *this;
    style.diameter = boundedIfInfinite(diameter, diameterRange, fallback.diameter);
    style.followSpeed = boundedIfInfinite(followSpeed, followSpeedRange, fallback.followSpeed);
    style.blinkInterval = boundedIfInfinite(blinkInterval, blinkIntervalRange, fallback.blinkInterval);
    style.blinkVariation = boundedIfInfinite(blinkVariation, blinkVariationRange, fallback.blinkVariation);
    style.separation = finiteOr(separation, fallback.separation);
    style.drowsyAfter = finiteOr(drowsyAfter, fallback.drowsyAfter);
    style.asleepAfter = finiteOr(asleepAfter, fallback.asleepAfter);
    return style;
}

QString rawValue(EyeWakefulness::Stage stage)
{
    switch (stage) {
    case EyeWakefulness::Stage::awake:
        return QStringLiteral("awake");
    case EyeWakefulness::Stage::drowsy:
        return QStringLiteral("drowsy");
    case EyeWakefulness::Stage::asleep:
        return QStringLiteral("asleep");
    }
    return {};
}

template <> std::optional<EyeWakefulness::Stage> fromRawValue<EyeWakefulness::Stage>(QStringView raw)
{
    for (auto stage : { EyeWakefulness::Stage::awake, EyeWakefulness::Stage::drowsy, EyeWakefulness::Stage::asleep }) {
        if (rawValue(stage) == raw)
            return stage;
    }
    return std::nullopt;
}

EyeWakefulness Drowse::wakefulness(double idleFor, const EyeStyle& style)
{
    if (!style.sleeps)
        return EyeWakefulness::awake();
    const EyeStyle& fallback = EyeStyle::defaultStyle();
    const double drowsyAfter = std::isnan(style.drowsyAfter) ? fallback.drowsyAfter : style.drowsyAfter;
    const double asleepAfter = std::isnan(style.asleepAfter) ? fallback.asleepAfter : style.asleepAfter;
    const double start = drowsyAfter < 1 ? 1 : drowsyAfter;
    const double asleepAt = std::max(start + 5, asleepAfter);
    // A rest of no known length is no rest.
    if (std::isnan(idleFor) || idleFor <= start)
        return EyeWakefulness::awake();
    if (idleFor >= asleepAt)
        return EyeWakefulness::asleep();
    return EyeWakefulness::drowsy(clamped((idleFor - start) / (asleepAt - start), 0.0, 1.0));
}

double Drowse::lid(double at, double drowsiness, double secondsSinceOnset)
{
    constexpr double pi = std::numbers::pi;
    const double dc = clamped(drowsiness, 0.0, 1.0);
    const double base = 0.34 + 0.42 * dc;
    // A slow nod during the first 1.9 s of every 8.5 s.
    const double p = std::fmod(at, 8.5);
    double nod = 0;
    if (p < 1.9) {
        const double s = std::sin(pi * p / 1.9);
        nod = std::max((0.35 + 0.65 * dc) * s * s * (0.97 - base), 0.0);
    }
    const double ramp = clamped(secondsSinceOnset / 1.2, 0.0, 1.0);
    return clamped((base + 0.05 * std::sin(2 * pi * at / 5.5) + nod) * ramp, 0.0, 1.0);
}

QPointF Drowse::gaze(double at, double drowsiness, qreal travel, int eye)
{
    const double dc = clamped(drowsiness, 0.0, 1.0);
    const double damp = 1 - 0.45 * dc;
    const double w = 2 * std::numbers::pi * at;
    const double side = eye == 0 ? -0.12 : 0.12;
    const double x = travel * ((0.55 * std::sin(w / 11) + 0.2 * std::sin(w / 6.3)) * damp + side * dc);
    const double y = travel * (0.28 * std::sin(w / 9 + 1.1) * damp - (0.34 + 0.3 * dc));
    return { x, y };
}

QPointF EyeGeometry::pupilOffset(QPointF eyeCentre, QPointF pointer, qreal travel, bool crossEyed)
{
    const double dx = pointer.x() - eyeCentre.x();
    const double dy = pointer.y() - eyeCentre.y();
    const double dist = std::hypot(dx, dy);
    // Also a pointer that is no number or infinitely far: there is no direction to look in.
    if (!(dist > 0.001) || std::isinf(dist))
        return { 0, 0 };
    double reach = travel;
    if (crossEyed && dist < EyeStyle::crossEyedWithin)
        reach = travel * (1 + 0.35 * (1 - dist / EyeStyle::crossEyedWithin));
    reach = std::min(reach, 1.35 * travel);
    const double f = std::min(dist / 90, 1.0) * reach;
    return { dx / dist * f, dy / dist * f };
}

QPointF EyeGeometry::eased(QPointF from, QPointF to, double speed, double dt)
{
    // A speed that is no number moves slowly, like a very small one.
    const double base = speed > 0.05 ? 1 - std::min(speed, 0.99) : 0.95;
    // A frame that took no time, or a clock that ran backwards, moves nothing.
    const double frames = dt > 0 ? dt * 60 : 0;
    const double k = 1 - std::pow(base, frames);
    return from + (to - from) * k;
}

double systemRandomDraw(double lower, double upper)
{
    if (!(upper > lower))
        return lower;
    // 53 random bits over [0, 1], both ends included.
    const double unit = double(QRandomGenerator::global()->generate64() >> 11) / double((quint64(1) << 53) - 1);
    return lower + (upper - lower) * unit;
}

BlinkClock::BlinkClock(double now, ClosedRange<double> interval, RandomDraw draw)
    : interval(interval)
    , draw(draw ? std::move(draw) : RandomDraw(systemRandomDraw))
{
    nextBlinkAt = now + randomWait();
}

double BlinkClock::randomWait() const
{
    return draw(interval.lower, interval.upper);
}

double BlinkClock::lidAmount(double at)
{
    if (blinkStartedAt) {
        const double elapsed = at - *blinkStartedAt;
        if (elapsed >= duration) {
            blinkStartedAt.reset();
            nextBlinkAt = at + randomWait();
            return 0;
        }
        return blinkCurve(elapsed);
    }
    if (nextBlinkAt <= at)
        blinkStartedAt = at;
    return 0;
}

void BlinkClock::retime(double at)
{
    if (!blinkStartedAt && nextBlinkAt > at + interval.upper)
        nextBlinkAt = at + randomWait();
}

void BlinkClock::blinkNow(double at)
{
    if (!blinkStartedAt)
        blinkStartedAt = at;
}

std::optional<double> BlinkClock::lid(double forBlinkStartedAt, double now)
{
    const double elapsed = now - forBlinkStartedAt;
    if (elapsed >= 0 && elapsed < duration)
        return blinkCurve(elapsed);
    return std::nullopt;
}

} // namespace nimbra
