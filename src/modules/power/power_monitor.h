#pragma once

#include "core/activity.h"
#include "core/power_snapshot.h"

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace nimbra {

class PowerProfiles;
class UPowerDevices;

// Watches the machine's own battery through UPower: reads a snapshot whenever the power
// devices change, derives the event against the previous reading, keeps the newest snapshot
// and reports both. Machines without a battery report nothing. Main thread only.
class PowerMonitor final : public QObject {
    Q_OBJECT
public:
    // The module of the charger and low-battery activities.
    static const ModuleID moduleID;

    // `devices` may be shared with the accessory monitor; none makes one of its own on
    // `systemBus`.
    explicit PowerMonitor(std::shared_ptr<UPowerDevices> devices = nullptr,
        QDBusConnection systemBus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~PowerMonitor() override;

    // The newest reading; none until the first.
    const std::optional<PowerSnapshot>& snapshot() const { return m_snapshot; }
    // Each new reading with its event, the first one without.
    std::function<void(const PowerSnapshot&, const std::optional<PowerSnapshot::Event>&)> onChange;
    // Battery percentages that raise a `low` event.
    std::set<int> lowLevels { 20, 10, 5 };

    // Follows the power devices and reports a first reading once they are known. Twice does
    // nothing.
    void start();
    // Reports the kept reading now, changed or not.
    void refresh();
    // Stops reporting; the stored snapshot stays.
    void stop();
    bool isStarted() const { return m_started; }

    // One reading of the kept state, without side effects; none without a battery.
    std::optional<PowerSnapshot> read() const;

private:
    void devicesChanged();
    void report();

    std::shared_ptr<UPowerDevices> m_devices;
    std::unique_ptr<PowerProfiles> m_profiles;
    std::optional<PowerSnapshot> m_snapshot;
    bool m_started = false;
};

} // namespace nimbra
