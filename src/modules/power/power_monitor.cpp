#include "modules/power/power_monitor.h"

#include "core/diagnostics.h"
#include "platform/upower/power_profiles.h"
#include "platform/upower/upower_devices.h"

namespace nimbra {

const ModuleID PowerMonitor::moduleID { QStringLiteral("power") };

PowerMonitor::PowerMonitor(std::shared_ptr<UPowerDevices> devices, QDBusConnection systemBus, QObject* parent)
    : QObject(parent)
    , m_devices(devices ? std::move(devices) : std::make_shared<UPowerDevices>(systemBus))
    , m_profiles(std::make_unique<PowerProfiles>(systemBus))
{
}

PowerMonitor::~PowerMonitor() = default;

void PowerMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    connect(m_devices.get(), &UPowerDevices::changed, this, &PowerMonitor::devicesChanged, Qt::UniqueConnection);
    m_profiles->onChange = [this] { devicesChanged(); };
    m_profiles->start();
    m_devices->start();
    if (m_devices->isLoaded())
        report();
}

void PowerMonitor::stop()
{
    m_started = false;
}

void PowerMonitor::refresh()
{
    report();
}

std::optional<PowerSnapshot> PowerMonitor::read() const
{
    std::optional<PowerSnapshot> reading = m_devices->battery();
    if (reading)
        reading->isLowPowerMode = m_profiles->isPowerSaver();
    return reading;
}

void PowerMonitor::devicesChanged()
{
    if (!m_started)
        return;
    // Changes that touch none of the battery's fields (an accessory, the time estimate of a
    // full battery) give no new reading.
    if (m_snapshot && read() == m_snapshot)
        return;
    report();
}

void PowerMonitor::report()
{
    const std::optional<PowerSnapshot> reading = read();
    if (!reading)
        return;
    const std::optional<PowerSnapshot::Event> event = reading->event(m_snapshot, lowLevels);
    m_snapshot = reading;
    Diagnostics::log(Diagnostics::Category::power, [&] {
        const std::optional<QString> estimate = reading->estimateText();
        return QStringLiteral("battery %1% %2%3")
            .arg(reading->percentage)
            .arg(reading->statusText(),
                estimate ? QStringLiteral(", ") + *estimate + QStringLiteral(" left") : QString());
    });
    if (onChange)
        onChange(*reading, event);
}

} // namespace nimbra
