#include "modules/eyes/eye_tracker.h"

#include "core/diagnostics.h"
#include "core/uptime.h"
#include "platform/pointer_watch.h"

#include <QLineF>
#include <algorithm>
#include <cmath>
#include <utility>

namespace nimbra {

namespace {

// Within these the eyes count as having reached their targets.
constexpr double settledPupil = 0.05;
constexpr double settledLid = 0.01;
// A frame is published only when something moved at least this far.
constexpr double publishPupil = 0.08;
constexpr double publishLid = 0.005;
// The pointer must rest this long before the clock slows down.
constexpr double restBeforeDoze = 0.9;
// Drowsy and sleeping eyes follow no faster than this.
constexpr double sleepyFollowSpeed = 0.18;
// Lids move 14 × dt of the remaining way per tick.
constexpr double lidRate = 14;

double interval(EyeTracker::ClockMode mode)
{
    switch (mode) {
    case EyeTracker::ClockMode::live:
        return EyeTracker::liveInterval;
    case EyeTracker::ClockMode::blinkDoze:
        return EyeTracker::blinkDozeInterval;
    case EyeTracker::ClockMode::drowse:
        return EyeTracker::drowseInterval;
    }
    return EyeTracker::liveInterval;
}

// A wink closes the eye and opens it again on the blink's curve; an entry that has run its
// course (or lies in the future) is cleared.
double winkLid(std::optional<double>& startedAt, double now)
{
    if (!startedAt)
        return 0;
    const double e = now - *startedAt;
    if (e < 0 || e >= EyeTracker::winkDuration) {
        startedAt.reset();
        return 0;
    }
    return e < 0.08 ? e / 0.08 : 1 - (e - 0.08) / 0.08;
}

} // namespace

TimerTickClock::TimerTickClock()
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (std::exchange(m_delayed, false))
            m_timer.start(m_intervalMs);
        // A copy: the tick may start or stop this clock, which replaces the callback.
        if (const auto onTick = m_onTick)
            onTick();
    });
}

void TimerTickClock::start(double interval, std::function<void()> onTick)
{
    m_onTick = std::move(onTick);
    // The fast clock needs even frames; the slow ones may be bundled with other wake-ups.
    m_timer.setTimerType(interval < 0.05 ? Qt::PreciseTimer : Qt::CoarseTimer);
    m_intervalMs = std::max(1, int(std::lround(interval * 1000)));
    m_delayed = false;
    m_timer.start(m_intervalMs);
}

void TimerTickClock::stop()
{
    m_timer.stop();
    m_onTick = nullptr;
    m_delayed = false;
}

void TimerTickClock::delayNext(double seconds)
{
    if (!m_timer.isActive())
        return;
    m_delayed = true;
    m_timer.start(std::max(1, int(std::lround(seconds * 1000))));
}

QString rawValue(EyeTracker::ClockMode mode)
{
    switch (mode) {
    case EyeTracker::ClockMode::live:
        return QStringLiteral("live");
    case EyeTracker::ClockMode::blinkDoze:
        return QStringLiteral("blinkDoze");
    case EyeTracker::ClockMode::drowse:
        return QStringLiteral("drowse");
    }
    return {};
}

EyeTracker::EyeTracker(
    PointerWatch* watch, std::unique_ptr<TickClock> clock, std::function<double()> now, RandomDraw draw)
    : m_watch(watch)
    , m_clock(clock ? std::move(clock) : std::make_unique<TimerTickClock>())
    , m_now(now ? std::move(now) : std::function<double()>(uptime))
    , m_draw(std::move(draw))
    , m_style(EyeStyle::defaultStyle())
    , m_blink(0, EyeStyle::defaultStyle().blinkRange(), m_draw)
{
}

EyeTracker::~EyeTracker()
{
    stop();
}

void EyeTracker::start()
{
    if (m_watchingMoves)
        return;
    if (m_watch) {
        m_pointer = m_watch->location();
        m_watchingMoves = m_watch->watchMoves([this] { pointerMoved(); });
    }
    m_lastPointerMoveAt = m_now();
    if (m_style.reactsToClicks)
        watchClicks();
    Diagnostics::log(Diagnostics::Category::eyes, "watching the pointer");
    run(ClockMode::live);
}

void EyeTracker::watchClicks()
{
    if (m_watch && !m_watchingClicks)
        m_watchingClicks = m_watch->watchClicks([this](bool rightButton) { clicked(rightButton); });
}

void EyeTracker::stop()
{
    if (m_watch) {
        if (m_watchingMoves)
            m_watch->stopMoves();
        if (m_watchingClicks)
            m_watch->stopClicks();
    }
    m_watchingMoves = false;
    m_watchingClicks = false;
    stopClock();
}

void EyeTracker::apply(const EyeStyle& style)
{
    m_style = style;
    if (m_style.reactsToClicks) {
        if (m_watchingMoves)
            watchClicks();
    } else if (m_watchingClicks) {
        m_watch->stopClicks();
        m_watchingClicks = false;
    }
    run(ClockMode::live);
}

void EyeTracker::setTired(bool tired)
{
    if (tired == m_isTired)
        return;
    m_isTired = tired;
    run(ClockMode::live);
}

void EyeTracker::pointerMoved()
{
    const double now = m_now();
    if (m_stage != EyeWakefulness::Stage::awake) {
        Diagnostics::log(Diagnostics::Category::eyes,
            [&] { return QStringLiteral("woken by the pointer after %1s").arg(qint64(now - m_lastPointerMoveAt)); });
    }
    m_lastPointerMoveAt = now;
    // The place is read by the next frame, once however many reports come before it.
    m_pointerMoved = true;
    if (m_clockMode != ClockMode::live) {
        run(ClockMode::live);
        return;
    }
    // A moving pointer reports about as often as the clock ticks: the frame that is due is
    // drawn on this wake-up rather than on one of the clock's own.
    if (now - m_lastTickAt >= liveInterval - earlyFrame)
        tick();
}

void EyeTracker::clicked(bool rightButton)
{
    const double now = m_now();
    m_lastPointerMoveAt = now;
    switch (m_style.clickBlink) {
    case ClickBlink::both:
        m_winkStartedAt = { now, now };
        break;
    case ClickBlink::matchingSide:
        m_winkStartedAt[rightButton ? 1 : 0] = now;
        break;
    case ClickBlink::random:
        m_winkStartedAt[m_draw(0, 1) < 0.5 ? 0 : 1] = now;
        break;
    }
    run(ClockMode::live);
}

void EyeTracker::run(ClockMode mode)
{
    if (m_clockMode == mode)
        return;
    m_lastTickAt = m_now();
    m_clockMode = mode;
    m_clock->start(interval(mode), [this] { tick(); });
}

void EyeTracker::stopClock()
{
    m_clock->stop();
    m_clockMode.reset();
}

void EyeTracker::tick()
{
    const double now = m_now();
    const double dtRaw = now - m_lastTickAt;
    m_lastTickAt = now;
    const double idle = now - m_lastPointerMoveAt;
    const bool moved = std::exchange(m_pointerMoved, false);
    if (moved && m_watch)
        m_pointer = m_watch->location();

    const EyeWakefulness wakefulness = Drowse::wakefulness(idle, m_style);
    if (wakefulness.stage() != m_stage) {
        Diagnostics::log(Diagnostics::Category::eyes,
            [&] { return QStringLiteral("%1 after %2s idle").arg(rawValue(wakefulness.stage())).arg(qint64(idle)); });
        m_stage = wakefulness.stage();
    }

    double sleepLid = 0;
    if (wakefulness.stage() == EyeWakefulness::Stage::drowsy)
        sleepLid = Drowse::lid(now, wakefulness.drowsiness(), idle - std::max(m_style.drowsyAfter, 1.0));
    else if (wakefulness.isAsleep())
        sleepLid = 1;

    m_blink.interval = m_style.blinkRange();
    m_blink.retime(now);
    const double blinkLid = (wakefulness.isAwake() && m_style.blinks) ? m_blink.lidAmount(now) : 0;
    const double tired = m_isTired ? tiredLid : 0;
    const double leftTarget = std::max({ blinkLid, sleepLid, winkLid(m_winkStartedAt[0], now), tired });
    const double rightTarget = std::max({ blinkLid, sleepLid, winkLid(m_winkStartedAt[1], now), tired });

    const double dt = std::max(dtRaw, 0.001);
    const double k = std::min(lidRate * dt, 1.0);
    m_lidLeft += k * (leftTarget - m_lidLeft);
    m_lidRight += k * (rightTarget - m_lidRight);

    QPointF leftGaze, rightGaze;
    double speed = std::min(m_style.followSpeed, sleepyFollowSpeed);
    switch (wakefulness.stage()) {
    case EyeWakefulness::Stage::awake:
        leftGaze = EyeGeometry::pupilOffset(eyeCentres.left, m_pointer, travel, m_style.crossesEyes);
        rightGaze = EyeGeometry::pupilOffset(eyeCentres.right, m_pointer, travel, m_style.crossesEyes);
        speed = m_style.followSpeed;
        break;
    case EyeWakefulness::Stage::drowsy:
        leftGaze = Drowse::gaze(now, wakefulness.drowsiness(), travel, 0);
        rightGaze = Drowse::gaze(now, wakefulness.drowsiness(), travel, 1);
        break;
    case EyeWakefulness::Stage::asleep:
        break;
    }
    m_leftPupil = EyeGeometry::eased(m_leftPupil, leftGaze, speed, dt);
    m_rightPupil = EyeGeometry::eased(m_rightPupil, rightGaze, speed, dt);

    if (hasChanged()) {
        m_emitted = Frame { m_leftPupil, m_rightPupil, m_lidLeft, m_lidRight, m_isTired ? 1.0 : 0.0 };
        if (onChange)
            onChange();
    }

    const bool settled = QLineF(m_leftPupil, leftGaze).length() < settledPupil
        && std::abs(m_lidLeft - leftTarget) < settledLid && std::abs(m_lidRight - rightTarget) < settledLid
        && !m_blink.isBlinking() && !m_winkStartedAt[0] && !m_winkStartedAt[1];

    switch (wakefulness.stage()) {
    case EyeWakefulness::Stage::drowsy:
        run(ClockMode::drowse);
        break;
    case EyeWakefulness::Stage::awake:
        if (m_blink.isBlinking() && m_clockMode == ClockMode::blinkDoze) {
            // A blink lasts 0.16 s, shorter than one dozing tick: follow it at full rate so
            // the lids visibly close, and doze again once it is over.
            run(ClockMode::live);
        } else if (settled && idle > restBeforeDoze) {
            if ((m_style.blinks || m_style.reactsToClicks) && !m_blink.isBlinking())
                run(ClockMode::blinkDoze);
            else
                stopClock();
        }
        break;
    case EyeWakefulness::Stage::asleep:
        if (settled)
            stopClock();
        break;
    }
    // While the pointer keeps moving, its next report draws the next frame; the clock ticks
    // only when none comes.
    if (moved && m_clockMode == ClockMode::live)
        m_clock->delayNext(reportWait);
}

bool EyeTracker::hasChanged() const
{
    if (!m_emitted)
        return true;
    return QLineF(m_leftPupil, m_emitted->leftPupil).length() > publishPupil
        || QLineF(m_rightPupil, m_emitted->rightPupil).length() > publishPupil
        || std::abs(m_lidLeft - m_emitted->lidLeft) > publishLid
        || std::abs(m_lidRight - m_emitted->lidRight) > publishLid || (m_isTired ? 1.0 : 0.0) != m_emitted->tired;
}

} // namespace nimbra
