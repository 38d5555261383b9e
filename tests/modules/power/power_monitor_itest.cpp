#include "modules/power/device_battery_monitor.h"
#include "modules/power/power_monitor.h"
#include "platform/upower/upower_devices.h"

#include "support/private_servers.h"
#include "support/test_support.h"
#include "support/upower_bed.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::PrivateBus;
using nimbra::test::UPowerBed;
using nimbra::test::waitUntil;
using Event = PowerSnapshot::Event;

namespace {

struct Reading {
    PowerSnapshot snapshot;
    std::optional<Event> event;
};

// The real upowerd over faked devices, and a power monitor on its bus that records every
// reading it reports. The devices are shared, so a test can wait for UPower's state to land.
struct PowerBed : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning());
        ASSERT_TRUE(bed.isReady());
    }

    void startMonitor()
    {
        monitor.onChange = [this](const PowerSnapshot& s, const std::optional<Event>& e) {
            readings.push_back({ s, e });
        };
        monitor.start();
    }

    bool waitForReadings(std::size_t count)
    {
        return waitUntil([&] { return readings.size() >= count; }, 10000);
    }

    // A change that must reach the monitor after everything raised before it: the devices'
    // next `changed` after a hot-plugged accessory. Proves that nothing else was on its way.
    bool fence()
    {
        QSignalSpy changed(devices.get(), &UPowerDevices::changed);
        const QString mouse = bed.addBluetoothMouse("Fence Mouse", 60, "fe:nc:e0:00:00:0" + QString::number(++fences));
        return !mouse.isEmpty() && changed.wait(10000);
    }

    PrivateBus bus;
    UPowerBed bed { bus };
    std::shared_ptr<UPowerDevices> devices = std::make_shared<UPowerDevices>(bus.connection());
    PowerMonitor monitor { devices, bus.connection() };
    std::vector<Reading> readings;
    int fences = 0;
};

std::vector<std::optional<Event>> events(const std::vector<Reading>& readings)
{
    std::vector<std::optional<Event>> result;
    for (const Reading& r : readings)
        result.push_back(r.event);
    return result;
}

} // namespace

TEST_F(PowerBed, DischargingAcrossTwoLowLevelsGivesOneLowEventEach)
{
    bed.addLinePower(false);
    const QString battery = bed.addBattery(25, "Discharging");
    ASSERT_TRUE(bed.startDaemon());
    startMonitor();
    ASSERT_TRUE(waitForReadings(1));
    EXPECT_EQ(readings[0].snapshot.percentage, 25);
    EXPECT_EQ(readings[0].snapshot.source, PowerSnapshot::Source::battery);
    EXPECT_FALSE(readings[0].snapshot.isCharging);
    EXPECT_EQ(readings[0].event, std::nullopt) << "the first reading has nothing to compare with";

    ASSERT_TRUE(bed.change(battery, UPowerBed::charge(20)));
    ASSERT_TRUE(waitForReadings(2));
    ASSERT_TRUE(bed.change(battery, UPowerBed::charge(10)));
    ASSERT_TRUE(waitForReadings(3));
    ASSERT_TRUE(fence());
    EXPECT_EQ(events(readings), (std::vector<std::optional<Event>> { std::nullopt, Event::low(20), Event::low(10) }));
    EXPECT_EQ(readings.back().snapshot.percentage, 10);
    EXPECT_EQ(monitor.snapshot(), readings.back().snapshot);
}

TEST_F(PowerBed, TwoBatteriesReadAsOneAndCrossALowLevelOnce)
{
    // Two batteries of 60 Wh: UPower's combination of 10 % and 95 % is 52.5 %, no low battery.
    bed.addLinePower(false);
    const QString first = bed.addBattery(10, "Discharging", "BAT0");
    const QString second = bed.addBattery(95, "Discharging", "BAT1");
    ASSERT_TRUE(bed.startDaemon());
    startMonitor();
    ASSERT_TRUE(waitForReadings(1));
    EXPECT_EQ(readings[0].snapshot.percentage, 53);

    // The first drains past 5 %, the second past 40 %: 22 % together, still no low level.
    ASSERT_TRUE(bed.change({ { first, UPowerBed::charge(4) }, { second, UPowerBed::charge(40) } }));
    ASSERT_TRUE(waitUntil([&] { return readings.back().snapshot.percentage == 22; }, 10000));
    // Both drain on: 18 % together crosses 20 % once.
    ASSERT_TRUE(bed.change({ { first, UPowerBed::charge(2) }, { second, UPowerBed::charge(34) } }));
    ASSERT_TRUE(waitUntil([&] { return readings.back().snapshot.percentage == 18; }, 10000));
    ASSERT_TRUE(fence());
    std::vector<Event> raised;
    for (const Reading& r : readings) {
        if (r.event)
            raised.push_back(*r.event);
    }
    EXPECT_EQ(raised, std::vector<Event> { Event::low(20) });
    EXPECT_EQ(monitor.snapshot()->percentage, 18);
}

TEST_F(PowerBed, PlugInGivesOneChargingReadingAndAFullBatteryCharged)
{
    const QString ac = bed.addLinePower(false);
    const QString battery = bed.addBattery(50, "Discharging");
    ASSERT_TRUE(bed.startDaemon());
    startMonitor();
    ASSERT_TRUE(waitForReadings(1));

    // One hardware event: the adapter comes online and the battery starts charging.
    ASSERT_TRUE(bed.change({ { ac, { { "online", "1" } } }, { battery, { { "status", "Charging" } } } }));
    ASSERT_TRUE(waitForReadings(2));
    ASSERT_TRUE(fence());
    ASSERT_EQ(readings.size(), 2u) << "one plug-in, one reading";
    EXPECT_EQ(readings[1].event, Event::pluggedIn());
    EXPECT_EQ(readings[1].snapshot.source, PowerSnapshot::Source::wallPower);
    EXPECT_TRUE(readings[1].snapshot.isCharging);
    EXPECT_EQ(readings[1].snapshot.statusText(), "Charging");

    QVariantMap full = UPowerBed::charge(100);
    full.insert("status", "Full");
    ASSERT_TRUE(bed.change(battery, full));
    ASSERT_TRUE(waitUntil([&] { return readings.back().event == Event::charged(); }, 10000));
    EXPECT_TRUE(readings.back().snapshot.isCharged);
    EXPECT_EQ(readings.back().snapshot.statusText(), "Charged");

    // And out again.
    ASSERT_TRUE(bed.change({ { ac, { { "online", "0" } } }, { battery, { { "status", "Discharging" } } } }));
    ASSERT_TRUE(waitUntil([&] { return readings.back().event == Event::unplugged(); }, 10000));
    EXPECT_EQ(readings.back().snapshot.statusText(), "On Battery");
}

TEST_F(PowerBed, AMachineWithoutABatteryNeverCallsBack)
{
    bed.addLinePower(true);
    ASSERT_TRUE(bed.startDaemon());
    startMonitor();
    ASSERT_TRUE(waitUntil([&] { return devices->isLoaded(); }, 10000));
    ASSERT_TRUE(fence());
    monitor.refresh();
    EXPECT_TRUE(readings.empty());
    EXPECT_EQ(monitor.snapshot(), std::nullopt);
    EXPECT_EQ(monitor.read(), std::nullopt);
}

TEST_F(PowerBed, StartingTwiceReportsOnceAndRefreshRepeatsTheReadingWithoutAnEvent)
{
    bed.addLinePower(true);
    bed.addBattery(80, "Charging");
    ASSERT_TRUE(bed.startDaemon());
    startMonitor();
    monitor.start();
    ASSERT_TRUE(waitForReadings(1));
    ASSERT_TRUE(fence());
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].snapshot.source, PowerSnapshot::Source::wallPower);

    monitor.refresh();
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[1].snapshot, readings[0].snapshot);
    EXPECT_EQ(readings[1].event, std::nullopt);
}

TEST_F(PowerBed, WithoutLowLevelsTheChargerStillReports)
{
    const QString ac = bed.addLinePower(false);
    const QString battery = bed.addBattery(22, "Discharging");
    ASSERT_TRUE(bed.startDaemon());
    monitor.lowLevels = {};
    startMonitor();
    ASSERT_TRUE(waitForReadings(1));
    ASSERT_TRUE(bed.change(battery, UPowerBed::charge(15)));
    ASSERT_TRUE(waitForReadings(2));
    EXPECT_EQ(readings[1].event, std::nullopt);
    ASSERT_TRUE(bed.change({ { ac, { { "online", "1" } } }, { battery, { { "status", "Charging" } } } }));
    ASSERT_TRUE(waitUntil([&] { return readings.back().event == Event::pluggedIn(); }, 10000));
}

TEST_F(PowerBed, TheDaemonRestartingIsSurvived)
{
    const QString ac = bed.addLinePower(true);
    const QString battery = bed.addBattery(70, "Charging");
    ASSERT_TRUE(bed.startDaemon());
    startMonitor();
    ASSERT_TRUE(waitForReadings(1));

    QSignalSpy changed(devices.get(), &UPowerDevices::changed);
    ASSERT_TRUE(bed.stopDaemon());
    ASSERT_TRUE(changed.wait(10000)) << "the devices went with the daemon";
    EXPECT_FALSE(devices->isLoaded());
    EXPECT_EQ(readings.size(), 1u) << "no reading while nothing is known";
    EXPECT_EQ(monitor.snapshot(), readings[0].snapshot) << "the last reading stays";

    // Unplugged while the daemon was away: the first reading after its return tells.
    ASSERT_TRUE(bed.change({ { ac, { { "online", "0" } } }, { battery, { { "status", "Discharging" } } } }));
    ASSERT_TRUE(bed.startDaemon());
    ASSERT_TRUE(waitForReadings(2));
    EXPECT_EQ(readings[1].event, Event::unplugged());
    EXPECT_EQ(readings[1].snapshot.percentage, 70);
}

TEST_F(PowerBed, ABluetoothMouseIsListedUntilItIsRemovedAndTwinMiceStayTwo)
{
    bed.addLinePower(true);
    bed.addBattery(90, "Charging");
    ASSERT_TRUE(bed.startDaemon());
    DeviceBatteryMonitor accessories(devices, bus.connection());
    int changes = 0;
    accessories.onChange = [&] { ++changes; };
    accessories.start();
    ASSERT_TRUE(waitUntil([&] { return devices->isLoaded(); }, 10000));
    EXPECT_TRUE(accessories.refresh().isEmpty()) << "the machine's own battery is no accessory";

    const QString mouse = bed.addBluetoothMouse("Fancy BT mouse", 5, "00:11:22:33:44:55");
    ASSERT_TRUE(waitUntil([&] { return changes > 0; }, 10000));
    ASSERT_EQ(accessories.refresh().devices.size(), 1);
    const DeviceBattery listed = accessories.batteries().devices[0];
    EXPECT_EQ(listed.name, "Fancy BT mouse");
    EXPECT_EQ(listed.kind, DeviceBattery::Kind::mouse);
    EXPECT_EQ(listed.percentage, 5);
    EXPECT_TRUE(listed.isLow());

    // A second mouse of the same model is a second entry, not a duplicate.
    changes = 0;
    bed.addBluetoothMouse("Fancy BT mouse", 70, "00:11:22:33:44:66");
    ASSERT_TRUE(waitUntil([&] { return changes > 0; }, 10000));
    EXPECT_EQ(accessories.refresh().devices.size(), 2);

    changes = 0;
    ASSERT_TRUE(bed.remove(mouse));
    ASSERT_TRUE(waitUntil([&] { return changes > 0; }, 10000));
    ASSERT_EQ(accessories.refresh().devices.size(), 1);
    EXPECT_EQ(accessories.batteries().devices[0].percentage, 70);
}

TEST_F(PowerBed, PowerSaverProfileIsLowPowerMode)
{
    bed.addLinePower(false);
    bed.addBattery(60, "Discharging");
    ASSERT_TRUE(bed.startDaemon());
    startMonitor();
    ASSERT_TRUE(waitForReadings(1));
    EXPECT_FALSE(readings[0].snapshot.isLowPowerMode) << "no power-profiles service is no error";
    EXPECT_EQ(readings[0].snapshot.statusText(), "On Battery");

    // The real power-profiles daemon comes later, as a service may, and is switched to power-saver.
    ASSERT_TRUE(bed.startPowerProfiles());
    ASSERT_TRUE(bed.setPowerProfile("power-saver"));
    ASSERT_TRUE(waitUntil([&] { return readings.back().snapshot.isLowPowerMode; }, 10000));
    EXPECT_EQ(readings.back().snapshot.statusText(), "Low Power");
    EXPECT_EQ(readings.back().event, std::nullopt);

    ASSERT_TRUE(bed.setPowerProfile("balanced"));
    ASSERT_TRUE(waitUntil([&] { return !readings.back().snapshot.isLowPowerMode; }, 10000));
}
