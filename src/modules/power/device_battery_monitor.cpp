#include "modules/power/device_battery_monitor.h"

#include "core/diagnostics.h"
#include "platform/upower/upower_devices.h"

namespace nimbra {

DeviceBatteryMonitor::DeviceBatteryMonitor(
    std::shared_ptr<UPowerDevices> devices, QDBusConnection systemBus, QObject* parent)
    : QObject(parent)
    , m_devices(devices ? std::move(devices) : std::make_shared<UPowerDevices>(systemBus))
{
}

DeviceBatteryMonitor::~DeviceBatteryMonitor() = default;

void DeviceBatteryMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    connect(m_devices.get(), &UPowerDevices::changed, this, [this] {
        if (onChange && accessoryBatteries(m_devices->accessories()) != m_batteries)
            onChange();
    });
    m_devices->start();
}

const DeviceBatteries& DeviceBatteryMonitor::refresh()
{
    m_batteries = accessoryBatteries(m_devices->accessories());
    if (!m_batteries.isEmpty())
        Diagnostics::log(Diagnostics::Category::power, [&] { return accessoriesLogLine(m_batteries); });
    return m_batteries;
}

} // namespace nimbra
