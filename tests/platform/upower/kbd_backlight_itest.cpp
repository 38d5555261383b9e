#include "platform/upower/kbd_backlight.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::PrivateBus;
using nimbra::test::waitUntil;

namespace {

const QString kUPower = "org.freedesktop.UPower";

// dbusmock's upower template has no keyboard backlight: add one with UPower's interface,
// levels 0 to 4. `refuse` makes SetBrightness fail as UPower does for an unwritable LED.
bool addKbdBacklight(const PrivateBus& bus, int level, bool refuse = false)
{
    const QString iface = "org.freedesktop.UPower.KbdBacklight";
    const QString set = refuse
        ? QString("raise dbus.exceptions.DBusException('no', name='org.freedesktop.UPower.GeneralError')")
        : QString("self.Set('%1', 'Level', args[0]); self.EmitSignal('%1', 'BrightnessChanged', 'i', [args[0]])")
              .arg(iface);
    return bus
        .mock(kUPower, "/org/freedesktop/UPower",
            QString("AddObject('/org/freedesktop/UPower/KbdBacklight', '%1', {'Level': dbus.Int32(%2)}, ["
                    "('GetMaxBrightness', '', 'i', 'ret = 4'),"
                    "('GetBrightness', '', 'i', \"ret = self.Get('%1', 'Level')\"),"
                    "('SetBrightness', 'i', '', \"%3\")])")
                .arg(iface)
                .arg(level)
                .arg(set))
        .has_value();
}

} // namespace

TEST(KbdBacklight, ReadsWritesAndHearsOthers)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.startTemplate("upower", kUPower));
    ASSERT_TRUE(addKbdBacklight(bus, 1));
    KbdBacklight keyboard(bus.connection());
    ASSERT_TRUE(waitUntil([&] { return keyboard.isAvailable(); }));
    EXPECT_EQ(keyboard.read(), 0.25);

    std::vector<double> changes;
    keyboard.onChange = [&](double level) { changes.push_back(level); };
    std::optional<double> result;
    keyboard.write(0.5, 0, [&](std::optional<double> level) { result = level; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 0.5);
    EXPECT_EQ(keyboard.read(), 0.5);
    QTest::qWait(100);
    EXPECT_TRUE(changes.empty()) << "our own write came back as a change";

    // A step too small for four levels still moves one level the way it points.
    result.reset();
    keyboard.write(0.5625, +1, [&](std::optional<double> level) { result = level; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 0.75);
    result.reset();
    keyboard.write(0.5625, 0, [&](std::optional<double> level) { result = level; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 0.5) << "without a direction the value is rounded as it is";

    // Someone else (the firmware's own key, another program) sets it.
    ASSERT_TRUE(bus.mock(kUPower, "/org/freedesktop/UPower/KbdBacklight",
        "EmitSignal('org.freedesktop.UPower.KbdBacklight', 'BrightnessChanged', 'i', [dbus.Int32(4)])"));
    ASSERT_TRUE(waitUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(changes.back(), 1.0);
}

TEST(KbdBacklight, ARefusedWriteReportsTheLevelInPlace)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.startTemplate("upower", kUPower));
    ASSERT_TRUE(addKbdBacklight(bus, 2, /*refuse=*/true));
    KbdBacklight keyboard(bus.connection());
    ASSERT_TRUE(waitUntil([&] { return keyboard.isAvailable(); }));
    std::optional<double> result;
    keyboard.write(1.0, 0, [&](std::optional<double> level) { result = level; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 0.5);
}

TEST(KbdBacklight, FollowsUPowerComingLater)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    KbdBacklight keyboard(bus.connection());
    std::vector<bool> availability;
    keyboard.onAvailabilityChange = [&](bool available) { availability.push_back(available); };
    QTest::qWait(200);
    EXPECT_FALSE(keyboard.isAvailable());

    ASSERT_TRUE(bus.startTemplate("upower", kUPower));
    QTest::qWait(300);
    EXPECT_FALSE(keyboard.isAvailable());
    // The object is exported a little after the name was taken.
    ASSERT_TRUE(addKbdBacklight(bus, 3));
    ASSERT_TRUE(waitUntil([&] { return keyboard.isAvailable(); }, 6000));
    EXPECT_EQ(keyboard.read(), 0.75);
    EXPECT_EQ(availability, std::vector<bool> { true });
}
