#pragma once

#include "core/device_battery.h"

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>

namespace nimbra {

class UPowerDevices;

// The batteries of connected accessories (mice, keyboards, headsets...) as UPower reports
// them. UPower's devices are followed from its signals, so a refresh only reads what is kept
// and never waits on the bus. Main thread only.
class DeviceBatteryMonitor final : public QObject {
    Q_OBJECT
public:
    // `devices` may be shared with the power monitor; none makes one of its own on `systemBus`.
    explicit DeviceBatteryMonitor(std::shared_ptr<UPowerDevices> devices = nullptr,
        QDBusConnection systemBus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~DeviceBatteryMonitor() override;

    // The result of the last refresh().
    const DeviceBatteries& batteries() const { return m_batteries; }
    // Starts following the devices (the list is read on refresh()); twice does nothing.
    void start();
    // Rebuilds the list from what is known now, stores it and returns it.
    const DeviceBatteries& refresh();

    // The accessories UPower knows changed (one came, went, or its charge moved): a refresh
    // would now give another list.
    std::function<void()> onChange;

private:
    std::shared_ptr<UPowerDevices> m_devices;
    DeviceBatteries m_batteries;
    bool m_started = false;
};

} // namespace nimbra
