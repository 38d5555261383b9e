#include "core/device_battery.h"

#include <gtest/gtest.h>

using namespace nimbra;
using Kind = DeviceBattery::Kind;

namespace {

DeviceBattery device(const QString& name, int percentage, bool charging = false)
{
    return DeviceBattery(name, std::nullopt, percentage, charging);
}

QList<int> percentages(const QList<DeviceBattery>& devices)
{
    QList<int> result;
    for (const DeviceBattery& d : devices)
        result.append(d.percentage);
    return result;
}

} // namespace

TEST(DeviceBattery, KindFromName)
{
    EXPECT_EQ(DeviceBattery::kindFrom("Magic Trackpad"), Kind::trackpad);
    EXPECT_EQ(DeviceBattery::kindFrom("Magic Mouse"), Kind::mouse);
    EXPECT_EQ(DeviceBattery::kindFrom("Magic Keyboard with Touch ID"), Kind::keyboard);
    EXPECT_EQ(DeviceBattery::kindFrom("Galaxy Buds"), Kind::headphones);
    EXPECT_EQ(DeviceBattery::kindFrom("AIRPODS Pro"), Kind::headphones);
    EXPECT_EQ(DeviceBattery::kindFrom("Pencil"), Kind::other);
    EXPECT_EQ(DeviceBattery::kindFrom("Keyboard and Trackpad combo"), Kind::trackpad);
    EXPECT_EQ(DeviceBattery::kindFrom(""), Kind::other);
}

TEST(DeviceBattery, InitClassifiesAndClamps)
{
    const DeviceBattery full = device("Magic Mouse", 140);
    EXPECT_EQ(full.kind, Kind::mouse);
    EXPECT_EQ(full.percentage, 100);
    EXPECT_EQ(full.id(), "Magic Mouse");
    const DeviceBattery dead = DeviceBattery("Magic Mouse", Kind::other, -5, false);
    EXPECT_EQ(dead.kind, Kind::other); // a given kind wins over the name
    EXPECT_EQ(dead.percentage, 0);
    EXPECT_FALSE(dead.isPlausible());
    EXPECT_TRUE(DeviceBatteries({ dead }).isEmpty());
    EXPECT_TRUE(device("x", 20).isLow());
    EXPECT_FALSE(device("x", 20, true).isLow());
    EXPECT_FALSE(device("x", 21).isLow());
}

TEST(DeviceBattery, KindRawValuesRoundTrip)
{
    ASSERT_EQ(allCases<Kind>().size(), 5u);
    for (Kind kind : allCases<Kind>())
        EXPECT_EQ(fromRawValue<Kind>(rawValue(kind)), kind);
    EXPECT_EQ(fromRawValue<Kind>(u"Mouse"), std::nullopt);
}

TEST(DeviceBatteries, OrdersLowNotChargingFirstThenByCharge)
{
    EXPECT_EQ(percentages(DeviceBatteries::ordered({ device("a", 15, true), device("b", 18), device("c", 40) })),
        (QList<int> { 18, 15, 40 }));
    EXPECT_EQ(percentages(DeviceBatteries::ordered({ device("a", 25), device("b", 22) })), (QList<int> { 22, 25 }));
    EXPECT_EQ(percentages(DeviceBatteries::ordered({ device("a", 50), device("b", 12, true), device("c", 0),
                  device("d", 19), device("e", 3, true), device("f", 20) })),
        (QList<int> { 19, 20, 3, 12, 50 }));

    const DeviceBatteries same({ device("first", 30), device("second", 30) });
    ASSERT_EQ(same.devices.size(), 2);
    EXPECT_EQ(same.devices[0].name, "first");
    EXPECT_EQ(same.devices[1].name, "second");
}

TEST(DeviceBatteries, LowestIsTheFirstLowOne)
{
    const DeviceBatteries batteries({ device("charging", 10, true), device("draining", 18) });
    ASSERT_TRUE(batteries.lowest());
    EXPECT_EQ(batteries.lowest()->name, "draining");
    EXPECT_EQ(
        DeviceBatteries({ device("a", 10, true), device("b", 15, true), device("c", 80) }).lowest(), std::nullopt);
    EXPECT_EQ(DeviceBatteries().lowest(), std::nullopt);
}

namespace {

AccessoryReading combined(const QString& identity, const QString& name, int percentage, bool charging = false)
{
    AccessoryReading r;
    r.identity = identity;
    r.name = name;
    r.percentage = percentage;
    r.isCharging = charging;
    return r;
}

QStringList names(const DeviceBatteries& batteries)
{
    QStringList result;
    for (const DeviceBattery& d : batteries.devices)
        result.append(d.name);
    return result;
}

} // namespace

TEST(AccessoryBatteries, OneEntryPerDeviceNotPerName)
{
    // One device seen twice (under two keys) is listed once; two mice of one model stay two.
    const DeviceBatteries list
        = accessoryBatteries({ combined("/mouse/1", "MX Anywhere", 55), combined("/mouse/1", "MX Anywhere", 50),
            combined("/mouse/2", "MX Anywhere", 70), combined("/kbd", "Keyboard K380", 80) });
    EXPECT_EQ(names(list), (QStringList { "MX Anywhere", "MX Anywhere", "Keyboard K380" }));
    EXPECT_EQ(percentages(list.devices), (QList<int> { 55, 70, 80 }));
}

TEST(AccessoryBatteries, NamesKindsAndImplausibleReadings)
{
    AccessoryReading unnamed = combined("/x", "", 40);
    AccessoryReading typed = combined("/pad", "Generic touch device", 60);
    typed.kind = Kind::trackpad;
    const DeviceBatteries list = accessoryBatteries({ unnamed, typed, combined("/dead", "Magic Mouse", 0) });
    ASSERT_EQ(list.devices.size(), 2);
    EXPECT_EQ(list.devices[0].name, "Accessory");
    EXPECT_EQ(list.devices[0].kind, Kind::other);
    EXPECT_EQ(list.devices[1].kind, Kind::trackpad) << "a kind the service knows wins over the name";
}

TEST(AccessoryBatteries, LogLine)
{
    const DeviceBatteries list
        = accessoryBatteries({ combined("/m", "Magic Mouse", 55), combined("/k", "Magic Keyboard", 80) });
    EXPECT_EQ(accessoriesLogLine(list), "accessories: Magic Mouse 55%, Magic Keyboard 80%");
}
