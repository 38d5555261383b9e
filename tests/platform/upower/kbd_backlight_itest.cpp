#include "platform/upower/kbd_backlight.h"

#include "support/private_servers.h"
#include "support/test_support.h"
#include "support/upower_bed.h"

#include <QDBusMessage>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::PrivateBus;
using nimbra::test::UPowerBed;
using nimbra::test::waitUntil;

namespace {

const QString kUPower = "org.freedesktop.UPower";

// The real upowerd cannot be made to refuse a write (it clamps the level and keeps its LED
// file open), so the refusal alone is played by dbusmock's upower template with a keyboard
// backlight added, levels 0 to 4, whose SetBrightness fails as UPower's does for an
// unwritable LED.
bool addRefusingKbdBacklight(const PrivateBus& bus, int level)
{
    const QString iface = "org.freedesktop.UPower.KbdBacklight";
    const QString set("raise dbus.exceptions.DBusException('no', name='org.freedesktop.UPower.GeneralError')");
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

// Sets the keyboard backlight as another program would, over a connection of its own.
void setByAnotherProgram(const PrivateBus& bus, int level)
{
    QDBusConnection other = QDBusConnection::connectToBus(bus.address(), "another-program");
    other.call(QDBusMessage::createMethodCall(kUPower, "/org/freedesktop/UPower/KbdBacklight",
                   "org.freedesktop.UPower.KbdBacklight", "SetBrightness")
        << level);
    QDBusConnection::disconnectFromBus("another-program");
}

} // namespace

TEST(KbdBacklight, ReadsWritesAndHearsOthers)
{
    PrivateBus bus;
    UPowerBed bed(bus);
    const QString led = bed.addKbdBacklight(1, 4);
    ASSERT_FALSE(led.isEmpty());
    ASSERT_TRUE(bed.startDaemon());
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
    EXPECT_EQ(bed.attribute(led, "brightness"), "2") << "the LED itself was set";

    // A step too small for four levels still moves one level the way it points.
    result.reset();
    keyboard.write(0.5625, +1, [&](std::optional<double> level) { result = level; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 0.75);
    result.reset();
    keyboard.write(0.5625, 0, [&](std::optional<double> level) { result = level; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 0.5) << "without a direction the value is rounded as it is";

    // Someone else (another program) sets it: the only change heard, so none of our own
    // writes came back as one.
    setByAnotherProgram(bus, 4);
    ASSERT_TRUE(waitUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(changes, std::vector<double> { 1.0 });
}

TEST(KbdBacklight, ARefusedWriteReportsTheLevelInPlace)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.startTemplate("upower", kUPower));
    ASSERT_TRUE(addRefusingKbdBacklight(bus, 2));
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
    UPowerBed bed(bus);
    ASSERT_FALSE(bed.addKbdBacklight(3, 4).isEmpty());
    KbdBacklight keyboard(bus.connection());
    std::vector<bool> availability;
    keyboard.onAvailabilityChange = [&](bool available) { availability.push_back(available); };
    EXPECT_FALSE(keyboard.isAvailable());

    ASSERT_TRUE(bed.startDaemon());
    ASSERT_TRUE(waitUntil([&] { return keyboard.isAvailable(); }, 6000));
    EXPECT_EQ(keyboard.read(), 0.75);
    EXPECT_EQ(availability, std::vector<bool> { true });

    // UPower going away takes the keyboard backlight with it.
    ASSERT_TRUE(bed.stopDaemon());
    ASSERT_TRUE(waitUntil([&] { return !keyboard.isAvailable(); }));
    EXPECT_EQ(availability, (std::vector<bool> { true, false }));
}
