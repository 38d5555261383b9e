#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);
template <typename E> std::span<const E> allCases();

// The battery of one connected accessory. Its name is also its identity.
struct DeviceBattery {
    enum class Kind { headphones, mouse, keyboard, trackpad, other };
    QString name;
    Kind kind = Kind::other;
    int percentage = 0; // 0 to 100
    bool isCharging = false;

    DeviceBattery() = default;
    // No kind means "classify by name"; the percentage is clamped to 0...100.
    DeviceBattery(const QString& name, std::optional<Kind> kind, int percentage, bool isCharging);

    const QString& id() const { return name; }
    bool isPlausible() const { return percentage > 0; }
    bool isLow() const { return percentage < 21 && !isCharging; }

    static Kind kindFrom(const QString& name);

    bool operator==(const DeviceBattery&) const = default;
};

QString rawValue(DeviceBattery::Kind kind);
// The symbol name of the kind's icon.
QString symbol(DeviceBattery::Kind kind);
template <> std::optional<DeviceBattery::Kind> fromRawValue<DeviceBattery::Kind>(QStringView raw);

inline constexpr std::array<DeviceBattery::Kind, 5> kDeviceBatteryKinds
    = { DeviceBattery::Kind::headphones, DeviceBattery::Kind::mouse, DeviceBattery::Kind::keyboard,
          DeviceBattery::Kind::trackpad, DeviceBattery::Kind::other };

template <> inline std::span<const DeviceBattery::Kind> allCases<DeviceBattery::Kind>()
{
    return kDeviceBatteryKinds;
}

// The accessory batteries in display order: the low ones first (those not charging ahead),
// then the rest, each group by rising charge.
struct DeviceBatteries {
    QList<DeviceBattery> devices;

    DeviceBatteries() = default;
    explicit DeviceBatteries(const QList<DeviceBattery>& devices)
        : devices(ordered(devices))
    {
    }

    // Drops implausible readings (0 % or less) and sorts stably.
    static QList<DeviceBattery> ordered(const QList<DeviceBattery>& devices);

    bool isEmpty() const { return devices.isEmpty(); }
    // The first low device in display order.
    std::optional<DeviceBattery> lowest() const;

    bool operator==(const DeviceBatteries&) const = default;
};

// One accessory as a power service reports it, before the list is built. Earbuds may report
// each side instead of one combined charge.
struct AccessoryReading {
    QString identity; // the service's own handle of the device; two equal accessories differ here
    QString name; // empty: "Accessory"
    std::optional<DeviceBattery::Kind> kind; // none: by name
    std::optional<int> percentage; // the combined charge
    std::optional<int> leftPercentage;
    std::optional<int> rightPercentage;
    bool isCharging = false;
};

// The accessory list: every reading with a combined charge; then, when none of those is
// headphones, the earbuds that report their sides, each device's two sides merged into one
// entry at the lower charge. One entry per device, in display order.
DeviceBatteries accessoryBatteries(const QList<AccessoryReading>& readings);
// "accessories: " and each device as its name, a blank, the charge and "%", joined by ", ".
QString accessoriesLogLine(const DeviceBatteries& batteries);

} // namespace nimbra
