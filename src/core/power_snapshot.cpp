#include "core/power_snapshot.h"

namespace nimbra {

std::optional<int> PowerSnapshot::minutesFromIOKit(int value)
{
    if (value < 1 || value == 65535)
        return std::nullopt;
    return value;
}

QString PowerSnapshot::statusText() const
{
    if (isCharged && isOnWallPower())
        return QStringLiteral("Charged");
    if (isCharging)
        return QStringLiteral("Charging");
    if (!isOnWallPower())
        return isLowPowerMode ? QStringLiteral("Low Power") : QStringLiteral("On Battery");
    // Many batteries stop short of reporting "charged" while held near full on the adapter.
    return percentage < 95 ? QStringLiteral("On Power") : QStringLiteral("Charged");
}

std::optional<QString> PowerSnapshot::estimateText() const
{
    if (isOnWallPower() && !isCharging)
        return std::nullopt;
    const std::optional<int> minutes = isOnWallPower() ? minutesToFull : minutesToEmpty;
    if (!minutes || *minutes < 1)
        return std::nullopt;
    const int m = *minutes;
    if (m < 60)
        return QStringLiteral("%1m").arg(m);
    if (m % 60 == 0)
        return QStringLiteral("%1h").arg(m / 60);
    return QStringLiteral("%1h %2m").arg(m / 60).arg(m % 60);
}

namespace {

template <typename Levels>
std::optional<PowerSnapshot::Event> derive(
    const PowerSnapshot& current, const std::optional<PowerSnapshot>& previous, const Levels& lowLevels)
{
    using Event = PowerSnapshot::Event;
    if (!previous)
        return std::nullopt;
    if (current.source != previous->source)
        return current.isOnWallPower() ? Event::pluggedIn() : Event::unplugged();
    if (current.isOnWallPower() && previous->isOnWallPower() && !previous->isCharged && current.isCharged)
        return Event::charged();
    // One step across several levels announces only the lowest of them.
    std::optional<int> crossed;
    for (int level : lowLevels) {
        if (current.percentage <= level && level < previous->percentage && (!crossed || level < *crossed))
            crossed = level;
    }
    if (crossed)
        return Event::low(*crossed);
    return std::nullopt;
}

} // namespace

std::optional<PowerSnapshot::Event> PowerSnapshot::event(
    const std::optional<PowerSnapshot>& previous, const QSet<int>& lowLevels) const
{
    return derive(*this, previous, lowLevels);
}

std::optional<PowerSnapshot::Event> PowerSnapshot::event(
    const std::optional<PowerSnapshot>& previous, const std::set<int>& lowLevels) const
{
    return derive(*this, previous, lowLevels);
}

} // namespace nimbra
