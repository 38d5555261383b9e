#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace nimbra {

// The battery of one connected accessory. Its name is also its identity.
struct DeviceBattery {
    enum class Kind { headphones, mouse, keyboard, trackpad, other };
    static constexpr std::array<Kind, 5> allKinds { Kind::headphones, Kind::mouse, Kind::keyboard, Kind::trackpad,
        Kind::other };

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
    static std::optional<Kind> kindFromRawValue(const QString& raw);

    bool operator==(const DeviceBattery&) const = default;
};

QString rawValue(DeviceBattery::Kind kind);
// The symbol name of the kind's icon.
QString symbol(DeviceBattery::Kind kind);

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

} // namespace nimbra
