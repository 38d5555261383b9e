#include "platform/backlight/backlight.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace nimbra;
using nimbra::test::PrivateBus;
using nimbra::test::waitUntil;

namespace {

const QString kLogin = "org.freedesktop.login1";
const QString kSession = "/org/freedesktop/login1/session/auto";

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

// A sysfs tree with a raw driver backlight and a firmware one, which is the one to use.
struct SysfsTree {
    QTemporaryDir root;
    QString panel() const { return root.path() + "/class/backlight/acpi_video0"; }
    SysfsTree()
    {
        for (const char* name : { "acpi_video0", "intel_backlight" })
            QDir().mkpath(root.path() + "/class/backlight/" + name);
        writeFile(panel() + "/max_brightness", "20\n");
        writeFile(panel() + "/brightness", "10\n");
        writeFile(panel() + "/type", "firmware\n");
        const QString raw = root.path() + "/class/backlight/intel_backlight";
        writeFile(raw + "/max_brightness", "96000\n");
        writeFile(raw + "/brightness", "1000\n");
        writeFile(raw + "/type", "raw\n");
    }
};

// logind with this process's session, whose SetBrightness writes the tree as logind would,
// or refuses.
struct Logind {
    PrivateBus bus;
    bool ready = false;
    Logind(const SysfsTree& tree, bool refuse)
    {
        if (!bus.isRunning() || !bus.startTemplate("logind", kLogin))
            return;
        if (!bus.mock(kLogin, "/org/freedesktop/login1",
                QString("AddSession('auto', 'seat0', dbus.UInt32(%1), 'me', True)").arg(getuid())))
            return;
        const QString code = refuse
            ? QString("raise dbus.exceptions.DBusException('no', name='org.freedesktop.DBus.Error.AccessDenied')")
            : QString("assert args[0] == 'backlight'; open('%1/class/backlight/' + args[1] + '/brightness', 'w')"
                      ".write(str(args[2]) + chr(10))")
                  .arg(tree.root.path());
        ready = bus.mock(kLogin, kSession,
                       QString("AddMethod('org.freedesktop.login1.Session', 'SetBrightness', 'ssu', '', \"%1\")")
                           .arg(code))
                    .has_value();
    }
};

} // namespace

TEST(Backlight, ReadsTheBestDeviceAndWritesThroughLogind)
{
    SysfsTree tree;
    Logind logind(tree, /*refuse=*/false);
    ASSERT_TRUE(logind.ready);
    Backlight backlight(tree.root.path(), logind.bus.connection());
    ASSERT_TRUE(backlight.isAvailable());
    EXPECT_EQ(backlight.device(), "acpi_video0");
    EXPECT_EQ(backlight.read(), 0.5);

    std::vector<double> changes;
    backlight.onChange = [&](double level) { changes.push_back(level); };
    std::optional<double> result;
    bool done = false;
    backlight.write(0.5625, 0, [&](std::optional<double> level) {
        result = level;
        done = true;
    });
    EXPECT_EQ(backlight.target(), 0.55); // 0.5625 of 20 steps is 11
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(readFile(tree.panel() + "/brightness"), "11");
    EXPECT_EQ(result, 0.55);
    EXPECT_EQ(backlight.read(), 0.55);
    // Changes arrive in order: an echo of our write would come before this one.
    writeFile(tree.panel() + "/brightness", "4\n");
    ASSERT_TRUE(waitUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(changes, std::vector<double> { 0.2 }) << "our own write came back as a change";
}

TEST(Backlight, ARefusedWriteReportsTheLevelInPlace)
{
    SysfsTree tree;
    Logind logind(tree, /*refuse=*/true);
    ASSERT_TRUE(logind.ready);
    Backlight backlight(tree.root.path(), logind.bus.connection());
    std::optional<double> result;
    bool done = false;
    backlight.write(1.0, 0, [&](std::optional<double> level) {
        result = level;
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(result, 0.5);
    EXPECT_EQ(readFile(tree.panel() + "/brightness"), "10");
}

TEST(Backlight, NoticesChangesMadeByOthers)
{
    SysfsTree tree;
    Backlight backlight(tree.root.path(), QDBusConnection::systemBus());
    std::vector<double> changes;
    backlight.onChange = [&](double level) { changes.push_back(level); };
    writeFile(tree.panel() + "/brightness", "15\n");
    ASSERT_TRUE(waitUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(changes.back(), 0.75);
    // Values above the maximum are read as full; garbage is not a change.
    writeFile(tree.panel() + "/brightness", "80\n");
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 2; }));
    EXPECT_EQ(changes.back(), 1.0);
    writeFile(tree.panel() + "/brightness", "bright\n");
    writeFile(tree.panel() + "/brightness", "5\n");
    ASSERT_TRUE(waitUntil([&] { return changes.size() >= 3; }));
    EXPECT_EQ(changes, (std::vector<double> { 0.75, 1.0, 0.25 })) << "garbage was taken as a change";
}

TEST(Backlight, FollowsDevicesComingAndGoing)
{
    QTemporaryDir root;
    const QString folder = root.path() + "/class/backlight";
    ASSERT_TRUE(QDir().mkpath(folder));
    Backlight backlight(root.path(), QDBusConnection::systemBus());
    std::vector<bool> availability;
    backlight.onAvailabilityChange = [&](bool available) { availability.push_back(available); };
    EXPECT_FALSE(backlight.isAvailable());

    // A device appears whole, as sysfs shows it.
    const QString staged = root.path() + "/staged";
    ASSERT_TRUE(QDir().mkpath(staged));
    writeFile(staged + "/max_brightness", "10\n");
    writeFile(staged + "/brightness", "3\n");
    ASSERT_TRUE(QDir().rename(staged, folder + "/panel"));
    ASSERT_TRUE(waitUntil([&] { return backlight.isAvailable(); }));
    EXPECT_EQ(backlight.read(), 0.3);
    ASSERT_TRUE(QDir(folder + "/panel").removeRecursively());
    ASSERT_TRUE(waitUntil([&] { return !backlight.isAvailable(); }));
    EXPECT_EQ(availability, (std::vector<bool> { true, false }));
}

TEST(Backlight, NoDeviceMeansUnavailable)
{
    QTemporaryDir empty;
    Backlight backlight(empty.path(), QDBusConnection::systemBus());
    EXPECT_FALSE(backlight.isAvailable());
    EXPECT_EQ(backlight.read(), std::nullopt);
    bool done = false;
    backlight.write(0.5, 0, [&](std::optional<double> level) {
        EXPECT_EQ(level, std::nullopt);
        done = true;
    });
    EXPECT_TRUE(done);
}
