#include "app/activity_router.h"

#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/level/system_level_monitor.h"

#include <cmath>

namespace nimbra {

void ActivityRouter::record(const ActivityPayload& payload, std::uint64_t token)
{
    payloads_[token] = payload;
    if (payloads_.size() < trimAt)
        return;
    // Keys are ordered ascending: drop everything below the newest few.
    auto firstKept = payloads_.end();
    std::advance(firstKept, -std::ptrdiff_t(keptAfterTrim));
    payloads_.erase(payloads_.begin(), firstKept);
}

const ActivityPayload* ActivityRouter::payload(std::uint64_t token) const
{
    const auto found = payloads_.find(token);
    return found == payloads_.end() ? nullptr : &found->second;
}

std::vector<std::uint64_t> ActivityRouter::cachedTokens() const
{
    std::vector<std::uint64_t> tokens;
    tokens.reserve(payloads_.size());
    for (const auto& entry : payloads_)
        tokens.push_back(entry.first);
    return tokens;
}

std::optional<Activity> ActivityRouter::levelKeyChanged(const SystemLevel& level, double now)
{
    if (level.kind == SystemLevel::Kind::brightness)
        lastDeliberateBrightnessAt_ = now;
    return handleLevel(level, true);
}

bool ActivityRouter::announcesObserved(const SystemLevel& level, double now) const
{
    if (level.kind != SystemLevel::Kind::brightness || !settings_.brightnessNeedsKeyPress())
        return true;
    return now - lastDeliberateBrightnessAt_ < deliberateBrightnessWindow;
}

std::optional<Activity> ActivityRouter::levelObserved(const SystemLevel& level, double now)
{
    Diagnostics::log(Diagnostics::Category::level, [&] {
        return QStringLiteral("observed %1 = %2").arg(rawValue(level.kind)).arg(level.percentage());
    });
    return handleLevel(level, announcesObserved(level, now));
}

std::optional<Activity> ActivityRouter::handleLevel(const SystemLevel& level, bool announce)
{
    if (!settings_.hudReplacement())
        return std::nullopt;
    currentLevel_ = level;
    if (!announce)
        return std::nullopt;
    const std::uint64_t token = nextToken();
    record(level, token);
    const ActivityCategory category
        = level.kind == SystemLevel::Kind::volume ? ActivityCategory::volume : ActivityCategory::brightness;
    return Activity { SystemLevelMonitor::moduleID, token, settings_.priority(category), levelDuration, category };
}

} // namespace nimbra
