#include "core/device_battery.h"

#include "core/clamped.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <tuple>

namespace nimbra {

DeviceBattery::DeviceBattery(const QString& name, std::optional<Kind> kind, int percentage, bool isCharging)
    : name(name)
    , kind(kind.value_or(kindFrom(name)))
    , percentage(clamped(percentage, 0, 100))
    , isCharging(isCharging)
{
}

DeviceBattery::Kind DeviceBattery::kindFrom(const QString& name)
{
    const QString lower = name.toLower();
    if (lower.contains(u"airpod") || lower.contains(u"headphone") || lower.contains(u"buds"))
        return Kind::headphones;
    if (lower.contains(u"trackpad"))
        return Kind::trackpad;
    if (lower.contains(u"mouse"))
        return Kind::mouse;
    if (lower.contains(u"keyboard"))
        return Kind::keyboard;
    return Kind::other;
}

template <> std::optional<DeviceBattery::Kind> fromRawValue<DeviceBattery::Kind>(QStringView raw)
{
    for (DeviceBattery::Kind kind : kDeviceBatteryKinds)
        if (rawValue(kind) == raw)
            return kind;
    return std::nullopt;
}

QString rawValue(DeviceBattery::Kind kind)
{
    switch (kind) {
    case DeviceBattery::Kind::headphones:
        return QStringLiteral("headphones");
    case DeviceBattery::Kind::mouse:
        return QStringLiteral("mouse");
    case DeviceBattery::Kind::keyboard:
        return QStringLiteral("keyboard");
    case DeviceBattery::Kind::trackpad:
        return QStringLiteral("trackpad");
    case DeviceBattery::Kind::other:
        return QStringLiteral("other");
    }
    return {};
}

QString symbol(DeviceBattery::Kind kind)
{
    switch (kind) {
    case DeviceBattery::Kind::headphones:
        return QStringLiteral("airpods");
    case DeviceBattery::Kind::mouse:
        return QStringLiteral("magicmouse");
    case DeviceBattery::Kind::keyboard:
        return QStringLiteral("keyboard");
    case DeviceBattery::Kind::trackpad:
        return QStringLiteral("rectangle.and.hand.point.up.left");
    case DeviceBattery::Kind::other:
        return QStringLiteral("dot.radiowaves.left.and.right");
    }
    return {};
}

QList<DeviceBattery> DeviceBatteries::ordered(const QList<DeviceBattery>& devices)
{
    QList<DeviceBattery> result;
    for (const DeviceBattery& device : devices)
        if (device.isPlausible())
            result.append(device);
    // Low devices (under 21 %) first, those not charging ahead of those charging; then by charge.
    const auto key = [](const DeviceBattery& d) {
        const bool low = d.percentage < 21;
        return std::make_tuple(low ? 0 : 1, low && d.isCharging ? 1 : 0, d.percentage);
    };
    std::stable_sort(
        result.begin(), result.end(), [&](const DeviceBattery& a, const DeviceBattery& b) { return key(a) < key(b); });
    return result;
}

std::optional<DeviceBattery> DeviceBatteries::lowest() const
{
    for (const DeviceBattery& device : devices)
        if (device.isLow())
            return device;
    return std::nullopt;
}

DeviceBatteries accessoryBatteries(const QList<AccessoryReading>& readings)
{
    const auto named
        = [](const AccessoryReading& r) { return r.name.isEmpty() ? QStringLiteral("Accessory") : r.name; };
    QList<std::pair<QString, DeviceBattery>> found;
    for (const AccessoryReading& r : readings)
        if (r.percentage)
            found.append({ r.identity, DeviceBattery(named(r), r.kind, *r.percentage, r.isCharging) });

    const bool hasHeadphones = std::any_of(found.begin(), found.end(),
        [](const auto& entry) { return entry.second.kind == DeviceBattery::Kind::headphones; });
    if (!hasHeadphones) {
        // Sides pair only within one device: the left bud of one set and the right bud of
        // another are two accessories, not one.
        QList<std::pair<QString, DeviceBattery>> lefts, rights;
        for (const AccessoryReading& r : readings) {
            if (r.percentage)
                continue;
            if (r.leftPercentage && r.rightPercentage) {
                lefts.append({ r.identity,
                    DeviceBattery(named(r), DeviceBattery::Kind::headphones,
                        std::min(*r.leftPercentage, *r.rightPercentage), r.isCharging) });
            } else if (r.leftPercentage) {
                lefts.append({ r.identity, DeviceBattery(named(r), r.kind, *r.leftPercentage, r.isCharging) });
            } else if (r.rightPercentage) {
                rights.append({ r.identity, DeviceBattery(named(r), r.kind, *r.rightPercentage, r.isCharging) });
            }
        }
        found += lefts;
        found += rights;
    }

    // One entry per device, the first kept: by the device's identity, so that two accessories
    // of one model stay two.
    QSet<QString> seen;
    QList<DeviceBattery> result;
    for (const auto& [identity, device] : found) {
        if (seen.contains(identity))
            continue;
        seen.insert(identity);
        result.append(device);
    }
    return DeviceBatteries(result);
}

QString accessoriesLogLine(const DeviceBatteries& batteries)
{
    QStringList entries;
    for (const DeviceBattery& device : batteries.devices)
        entries.append(device.name + QLatin1Char(' ') + QString::number(device.percentage) + QLatin1Char('%'));
    return QStringLiteral("accessories: ") + entries.join(QStringLiteral(", "));
}

} // namespace nimbra
