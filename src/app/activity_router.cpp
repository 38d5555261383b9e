#include "app/activity_router.h"

#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/level/system_level_monitor.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/power/power_monitor.h"

#include <cmath>

namespace nimbra {

void ActivityRouter::record(const ActivityPayload& payload, std::uint64_t token)
{
    m_payloads[token] = payload;
    if (m_payloads.size() < trimAt)
        return;
    // Keys are ordered ascending: drop everything below the newest few.
    auto firstKept = m_payloads.end();
    std::advance(firstKept, -std::ptrdiff_t(keptAfterTrim));
    m_payloads.erase(m_payloads.begin(), firstKept);
}

const ActivityPayload* ActivityRouter::payload(std::uint64_t token) const
{
    const auto found = m_payloads.find(token);
    return found == m_payloads.end() ? nullptr : &found->second;
}

std::vector<std::uint64_t> ActivityRouter::cachedTokens() const
{
    std::vector<std::uint64_t> tokens;
    tokens.reserve(m_payloads.size());
    for (const auto& entry : m_payloads)
        tokens.push_back(entry.first);
    return tokens;
}

std::optional<Activity> ActivityRouter::levelKeyChanged(const SystemLevel& level, double now)
{
    if (level.kind == SystemLevel::Kind::brightness)
        m_lastDeliberateBrightnessAt = now;
    return handleLevel(level, true);
}

bool ActivityRouter::announcesObserved(const SystemLevel& level, double now) const
{
    if (level.kind != SystemLevel::Kind::brightness || !m_settings.brightnessNeedsKeyPress())
        return true;
    return now - m_lastDeliberateBrightnessAt < deliberateBrightnessWindow;
}

std::optional<Activity> ActivityRouter::levelObserved(const SystemLevel& level, double now)
{
    Diagnostics::log(Diagnostics::Category::level,
        [&] { return QStringLiteral("observed %1 = %2").arg(rawValue(level.kind)).arg(level.percentage()); });
    return handleLevel(level, announcesObserved(level, now));
}

std::optional<Activity> ActivityRouter::handleLevel(const SystemLevel& level, bool announce)
{
    if (!m_settings.hudReplacement())
        return std::nullopt;
    m_currentLevel = level;
    if (!announce)
        return std::nullopt;
    const std::uint64_t token = nextToken();
    record(level, token);
    const ActivityCategory category
        = level.kind == SystemLevel::Kind::volume ? ActivityCategory::volume : ActivityCategory::brightness;
    return Activity { SystemLevelMonitor::moduleID, token, m_settings.priority(category), levelDuration, category };
}

std::optional<Activity> ActivityRouter::handlePower(
    const PowerSnapshot& snapshot, const std::optional<PowerSnapshot::Event>& event)
{
    if (!event || !m_settings.powerActivityEnabled())
        return std::nullopt;
    using Event = PowerSnapshot::Event;
    using Kind = ChargeActivityView::Kind;
    Kind kind;
    double duration = chargeDuration;
    int bonus = 0;
    switch (event->kind) {
    case Event::Kind::low:
        if (!m_settings.lowBatteryAlerts())
            return std::nullopt;
        kind = Kind::low(event->level);
        duration = lowBatteryDuration;
        bonus = 5;
        break;
    case Event::Kind::pluggedIn:
        kind = snapshot.isCharging ? Kind::connected() : Kind::holding();
        break;
    case Event::Kind::unplugged:
        kind = Kind::disconnected();
        break;
    case Event::Kind::charged:
        kind = Kind::charged();
        bonus = 1;
        break;
    }
    m_chargeKind = kind;
    const std::uint64_t token = nextToken();
    record(ChargePayload { kind, snapshot }, token);
    return Activity { PowerMonitor::moduleID, token, m_settings.priority(ActivityCategory::battery) + bonus, duration,
        ActivityCategory::battery };
}

bool ActivityRouter::musicHoldsNotch(const std::optional<NowPlayingTrack>& track, double now)
{
    if (track && track->isPlaying()) {
        m_residentHoldUntil = now + pausedHold;
        return true;
    }
    return track && now < m_residentHoldUntil;
}

std::optional<Activity> ActivityRouter::musicActivity(const NowPlayingTrack& track, NowPlayingTrack::Change change)
{
    if (!m_settings.nowPlayingActivity() || track.title.isEmpty())
        return std::nullopt;
    double duration = 0;
    switch (change) {
    case NowPlayingTrack::Change::startedPlaying:
        m_transportFlash = NowPlayingActivityView::Transport::play;
        duration = startOrPauseDuration;
        break;
    case NowPlayingTrack::Change::paused:
        m_transportFlash = NowPlayingActivityView::Transport::pause;
        duration = startOrPauseDuration;
        break;
    case NowPlayingTrack::Change::changedTrack:
        m_transportFlash.reset();
        duration = trackChangeDuration;
        break;
    case NowPlayingTrack::Change::stopped:
    case NowPlayingTrack::Change::seeked:
        return std::nullopt;
    }
    const std::uint64_t token = nextToken();
    record(MusicPayload { track, m_transportFlash }, token);
    return Activity { NowPlayingMonitor::moduleID, token, m_settings.priority(ActivityCategory::music), duration,
        ActivityCategory::music };
}

Activity ActivityRouter::previewBattery(const PowerSnapshot& snapshot)
{
    using Kind = ChargeActivityView::Kind;
    if (snapshot.isOnWallPower())
        m_chargeKind = snapshot.isCharging ? Kind::connected() : Kind::holding();
    else
        m_chargeKind = Kind::disconnected();
    return Activity { PowerMonitor::moduleID, nextToken(), 0, previewDuration, std::nullopt };
}

} // namespace nimbra
