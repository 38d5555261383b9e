#include "modules/level/system_level_monitor.h"
#include "platform/x11/x11_input_bridge.h"

#include "support/private_servers.h"
#include "support/test_support.h"
#include "support/upower_bed.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

using namespace nimbra;
using nimbra::test::PrivateBus;
using nimbra::test::PrivatePulse;
using nimbra::test::PrivateX;
using nimbra::test::UPowerBed;
using nimbra::test::waitUntil;
using Kind = SystemLevel::Kind;

namespace {

constexpr std::uint32_t kShiftL = 0xffe1;
constexpr std::uint32_t kAltL = 0xffe9;
const QString kLogin = "org.freedesktop.login1";

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

int pactlPercent(const PrivatePulse& pulse)
{
    const QString out = pulse.pactl({ "get-sink-volume", "@DEFAULT_SINK@" }).value_or("");
    const int percent = out.indexOf('%');
    int start = percent;
    while (start > 0 && out[start - 1].isDigit())
        --start;
    return percent < 0 ? -1 : out.mid(start, percent - start).toInt();
}

bool pactlMuted(const PrivatePulse& pulse)
{
    return pulse.pactl({ "get-sink-mute", "@DEFAULT_SINK@" }).value_or("").endsWith("yes");
}

// Whether another X client can take a key with no modifiers: false while the monitor holds it.
bool othersCanGrab(const PrivateX& x, MediaKey key)
{
    xcb_connection_t* connection = xcb_connect(x.display().constData(), nullptr);
    const bool m_free = nimbra::test::grabKey(connection, keysym(key));
    xcb_disconnect(connection); // lets go of the grab again
    return m_free;
}

// Every peer of the monitor, private to one test: a sound server, an X server, a system bus
// with logind (whose SetBrightness writes the sysfs tree, or refuses) and the real upowerd over
// a keyboard backlight LED of four steps at 2, and a sysfs tree with one backlight of 20 steps
// at 10.
struct Peers {
    PrivatePulse pulse;
    PrivateX x;
    PrivateBus bus;
    UPowerBed upower { bus };
    mutable X11InputBridge input { x.display() };
    QTemporaryDir sysfs;
    bool ready = false;

    explicit Peers(
        bool withSink = true, bool withBacklight = true, bool refuseBrightness = false, bool withKeyboard = true)
        : pulse(withSink)
    {
        if (!pulse.isRunning() || !x.isRunning() || !bus.isRunning())
            return;
        QDir().mkpath(sysfs.path() + "/class/backlight");
        if (withBacklight) {
            QDir().mkpath(panel());
            writeFile(panel() + "/max_brightness", "20\n");
            writeFile(panel() + "/brightness", "10\n");
        }
        if (!bus.startTemplate("logind", kLogin)
            || !bus.mock(kLogin, "/org/freedesktop/login1",
                QString("AddSession('auto', 'seat0', dbus.UInt32(%1), 'me', True)").arg(getuid())))
            return;
        const QString code = refuseBrightness
            ? QString("raise dbus.exceptions.DBusException('no', name='org.freedesktop.DBus.Error.AccessDenied')")
            : QString("open('%1/class/backlight/' + args[1] + '/brightness', 'w').write(str(args[2]))")
                  .arg(sysfs.path());
        if (!bus.mock(kLogin, "/org/freedesktop/login1/session/auto",
                QString("AddMethod('org.freedesktop.login1.Session', 'SetBrightness', 'ssu', '', \"%1\")").arg(code)))
            return;
        if (withKeyboard && (upower.addKbdBacklight(2, 4).isEmpty() || !upower.startDaemon()))
            return;
        ready = true;
    }

    QString panel() const { return sysfs.path() + "/class/backlight/panel"; }

    SystemLevelMonitor::Sources sources() const
    {
        SystemLevelMonitor::Sources s;
        s.pulseServer = pulse.address();
        s.sysfsRoot = sysfs.path();
        s.systemBus = bus.connection();
        s.input = &input;
        return s;
    }
};

struct Recorder {
    std::vector<SystemLevel> keyed;
    std::vector<SystemLevel> observed;
    void attach(SystemLevelMonitor& monitor)
    {
        monitor.onChange = [this](const SystemLevel& level) { keyed.push_back(level); };
        monitor.onObservedChange = [this](const SystemLevel& level) { observed.push_back(level); };
    }
};

} // namespace

TEST(SystemLevelMonitor, VolumeKeysStepTheSinkBySixteenthsAndFineSixtyFourths)
{
    Peers peers;
    ASSERT_TRUE(peers.ready);
    ASSERT_TRUE(peers.pulse.pactl({ "set-sink-volume", "nimbra_null", "50%" }));
    SystemLevelMonitor monitor(peers.sources());
    Recorder seen;
    seen.attach(monitor);
    monitor.startObservingVolume();
    ASSERT_TRUE(waitUntil([&] { return monitor.read(Kind::volume).has_value(); }));
    ASSERT_TRUE(monitor.startIntercepting());
    EXPECT_TRUE(monitor.startIntercepting()) << "a second start is no failure";
    ASSERT_TRUE(waitUntil([&] { return monitor.interceptedKeys().count(MediaKey::raiseVolume) == 1; }));

    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 1; }));
    EXPECT_EQ(seen.keyed[0].kind, Kind::volume);
    EXPECT_DOUBLE_EQ(seen.keyed[0].value, 0.5625);
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(peers.pulse) == 56; })) << pactlPercent(peers.pulse);

    ASSERT_TRUE(peers.x.tap({ kShiftL, kAltL, keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 2; }));
    EXPECT_DOUBLE_EQ(seen.keyed[1].value, 0.578125);
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(peers.pulse) == 58; })) << pactlPercent(peers.pulse);

    ASSERT_TRUE(peers.x.tap({ kShiftL, keysym(MediaKey::lowerVolume) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 3; }));
    EXPECT_DOUBLE_EQ(seen.keyed[2].value, 0.515625) << "Shift alone is an ordinary step";

    // A change made by another program is observed. The server reports in order, so an echo
    // of the key changes would have come first.
    ASSERT_TRUE(peers.pulse.pactl({ "set-sink-volume", "nimbra_null", "20%" }));
    ASSERT_TRUE(waitUntil([&] { return !seen.observed.empty(); }));
    EXPECT_EQ(seen.observed.size(), 1u) << "key changes came back as observed changes";
    EXPECT_NEAR(seen.observed.front().value, 0.2, 0.001);

    // Stopped, the keys reach the desktop again.
    monitor.stopIntercepting();
    EXPECT_FALSE(monitor.isIntercepting());
    EXPECT_TRUE(othersCanGrab(peers.x, MediaKey::raiseVolume));
}

TEST(SystemLevelMonitor, VolumeDownWhileMutedKeepsTheDeviceMuted)
{
    Peers peers;
    ASSERT_TRUE(peers.ready);
    ASSERT_TRUE(peers.pulse.pactl({ "set-sink-volume", "nimbra_null", "50%" }));
    ASSERT_TRUE(peers.pulse.pactl({ "set-sink-mute", "nimbra_null", "1" }));
    SystemLevelMonitor monitor(peers.sources());
    Recorder seen;
    seen.attach(monitor);
    ASSERT_TRUE(waitUntil([&] { return monitor.read(Kind::volume).value_or(SystemLevel()).isMuted; }));
    ASSERT_TRUE(monitor.startIntercepting());
    ASSERT_TRUE(waitUntil([&] { return monitor.interceptedKeys().count(MediaKey::lowerVolume) == 1; }));

    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::lowerVolume) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 1; }));
    EXPECT_TRUE(seen.keyed[0].isMuted);
    EXPECT_DOUBLE_EQ(seen.keyed[0].value, 0.4375);
    ASSERT_TRUE(waitUntil([&] { return pactlPercent(peers.pulse) == 44; }));
    EXPECT_TRUE(pactlMuted(peers.pulse)) << "the device was unmuted while the readout says muted";

    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::raiseVolume) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 2; }));
    EXPECT_FALSE(seen.keyed[1].isMuted);
    EXPECT_TRUE(waitUntil([&] { return !pactlMuted(peers.pulse); }));

    // The mute key toggles, and reports the level with the new state.
    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::mute) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 3; }));
    EXPECT_TRUE(seen.keyed[2].isMuted);
    EXPECT_DOUBLE_EQ(seen.keyed[2].value, 0.5);
    EXPECT_TRUE(waitUntil([&] { return pactlMuted(peers.pulse); }));
}

// A sink boosted past full reads as full; a step up must not pull it back down to full.
TEST(SystemLevelMonitor, VolumeUpOnABoostedSinkLeavesItLoud)
{
    Peers peers(/*withSink=*/true, /*withBacklight=*/false, /*refuse=*/false, /*withKeyboard=*/false);
    ASSERT_TRUE(peers.ready);
    ASSERT_TRUE(peers.pulse.pactl({ "set-sink-volume", "nimbra_null", "150%" }));
    SystemLevelMonitor monitor(peers.sources());
    Recorder seen;
    seen.attach(monitor);
    ASSERT_TRUE(waitUntil([&] { return monitor.read(Kind::volume).has_value(); }));

    monitor.adjust(Kind::volume, 1, false);
    ASSERT_EQ(seen.keyed.size(), 1u);
    EXPECT_DOUBLE_EQ(seen.keyed[0].value, 1.0);
    // A later write of ours lands after any the step made.
    monitor.toggleMute();
    ASSERT_TRUE(waitUntil([&] { return pactlMuted(peers.pulse); }));
    EXPECT_EQ(pactlPercent(peers.pulse), 150);
    monitor.toggleMute();

    monitor.adjust(Kind::volume, -1, false);
    EXPECT_TRUE(waitUntil([&] { return pactlPercent(peers.pulse) == 94; })) << pactlPercent(peers.pulse);
}

TEST(SystemLevelMonitor, OnlyKeysWhoseLevelCanChangeAreTaken)
{
    Peers peers(/*withSink=*/false, /*withBacklight=*/false, /*refuse=*/false, /*withKeyboard=*/false);
    ASSERT_TRUE(peers.ready);
    SystemLevelMonitor monitor(peers.sources());
    Recorder seen;
    seen.attach(monitor);
    monitor.startObservingVolume();
    ASSERT_TRUE(monitor.startIntercepting());
    EXPECT_TRUE(monitor.interceptedKeys().empty());
    for (MediaKey key :
        { MediaKey::raiseVolume, MediaKey::mute, MediaKey::brightnessUp, MediaKey::keyboardBrightnessUp })
        EXPECT_TRUE(othersCanGrab(peers.x, key)) << keysymName(key).toStdString();
    // Nothing to read is no reading.
    EXPECT_EQ(monitor.read(Kind::volume), std::nullopt);
    EXPECT_EQ(monitor.read(Kind::brightness), std::nullopt);
    monitor.adjust(Kind::brightness, 1, false);
    monitor.adjust(Kind::volume, 1, false);
    monitor.toggleMute();
    EXPECT_TRUE(seen.keyed.empty()) << "nothing to change, nothing to announce";

    // A sound device appears: its keys are taken and it is observed.
    ASSERT_TRUE(peers.pulse.pactl({ "load-module", "module-null-sink", "sink_name=late" }));
    ASSERT_TRUE(waitUntil([&] { return monitor.interceptedKeys().count(MediaKey::raiseVolume) == 1; }));
    EXPECT_EQ(monitor.interceptedKeys(), (std::set { MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute }));
    EXPECT_FALSE(othersCanGrab(peers.x, MediaKey::raiseVolume));
    EXPECT_TRUE(othersCanGrab(peers.x, MediaKey::brightnessUp));
    ASSERT_TRUE(peers.pulse.pactl({ "set-sink-volume", "late", "30%" }));
    ASSERT_TRUE(waitUntil([&] { return !seen.observed.empty(); }));
    EXPECT_NEAR(seen.observed.back().value, 0.3, 0.001);

    // ...and released again when it goes.
    ASSERT_TRUE(peers.pulse.pactl({ "unload-module", "module-null-sink" }));
    ASSERT_TRUE(waitUntil([&] { return monitor.interceptedKeys().empty(); }));
    EXPECT_TRUE(othersCanGrab(peers.x, MediaKey::raiseVolume));
}

TEST(SystemLevelMonitor, BrightnessKeysWriteThroughLogindAndReportTheLevelInPlace)
{
    Peers peers;
    ASSERT_TRUE(peers.ready);
    SystemLevelMonitor monitor(peers.sources());
    Recorder seen;
    seen.attach(monitor);
    monitor.startObservingBrightness();
    ASSERT_TRUE(monitor.startIntercepting());
    EXPECT_EQ(monitor.interceptedKeys().count(MediaKey::brightnessUp), 1u);

    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::brightnessUp) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 1; }));
    EXPECT_EQ(seen.keyed[0].kind, Kind::brightness);
    EXPECT_DOUBLE_EQ(seen.keyed[0].value, 0.55); // 0.5625 of 20 steps lands on 11
    EXPECT_EQ(readFile(peers.panel() + "/brightness"), "11");

    // Changed by someone else: observed.
    writeFile(peers.panel() + "/brightness", "4\n");
    ASSERT_TRUE(waitUntil([&] { return !seen.observed.empty(); }));
    EXPECT_EQ(seen.observed.back().kind, Kind::brightness);
    EXPECT_DOUBLE_EQ(seen.observed.back().value, 0.2);
    EXPECT_EQ(seen.observed.size(), 1u) << "the key's own write was reported as observed";

    // The keyboard backlight keys act through UPower.
    ASSERT_TRUE(waitUntil([&] { return monitor.interceptedKeys().count(MediaKey::keyboardBrightnessUp) == 1; }));
    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::keyboardBrightnessDown) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 2; }));
    EXPECT_EQ(seen.keyed[1].kind, Kind::keyboardBacklight);
    EXPECT_DOUBLE_EQ(seen.keyed[1].value, 0.25) << "a key step moves at least one of the four hardware steps";
    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::keyboardBrightnessUp) }));
    ASSERT_TRUE(peers.x.tap({ keysym(MediaKey::keyboardBrightnessUp) }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 4; }));
    EXPECT_DOUBLE_EQ(seen.keyed[3].value, 0.75);
    EXPECT_TRUE(seen.keyed[3].isAvailable);

    // Not observed while stopped: observed again, the next change is the first to arrive.
    monitor.stopObservingBrightness();
    writeFile(peers.panel() + "/brightness", "9\n");
    monitor.startObservingBrightness();
    writeFile(peers.panel() + "/brightness", "12\n");
    ASSERT_TRUE(waitUntil([&] { return seen.observed.back().value == 0.6; }));
    for (const SystemLevel& level : seen.observed)
        EXPECT_NE(level.value, 0.45) << "a change was observed while observation was stopped";
}

TEST(SystemLevelMonitor, ARefusedBrightnessWriteIsReportedAsTheRealLevel)
{
    Peers peers(/*withSink=*/true, /*withBacklight=*/true, /*refuse=*/true, /*withKeyboard=*/false);
    ASSERT_TRUE(peers.ready);
    SystemLevelMonitor monitor(peers.sources());
    Recorder seen;
    seen.attach(monitor);
    monitor.adjust(Kind::brightness, 1, false);
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 1; }));
    EXPECT_DOUBLE_EQ(seen.keyed[0].value, 0.5);
    EXPECT_EQ(readFile(peers.panel() + "/brightness"), "10");
}

TEST(SystemLevelMonitor, ABacklightLogindWillNotSetIsReadAsUnavailableWithItsLevel)
{
    Peers peers(/*withSink=*/true, /*withBacklight=*/true, /*refuse=*/true, /*withKeyboard=*/false);
    ASSERT_TRUE(peers.ready);
    const SystemLevel half(Kind::brightness, 0.5, false, true, std::nullopt);
    const SystemLevel halfFixed(Kind::brightness, 0.5, false, false, std::nullopt);
    {
        // logind knows the session, so the level counts as changeable until it refuses a write.
        SystemLevelMonitor monitor(peers.sources());
        Recorder seen;
        seen.attach(monitor);
        monitor.adjust(Kind::brightness, 1, false);
        ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 1; }));
        EXPECT_EQ(monitor.read(Kind::brightness), halfFixed);
    }
    {
        // A session logind does not know (a process started outside the desktop's session).
        SystemLevelMonitor::Sources elsewhere = peers.sources();
        elsewhere.sessionPath = "/org/freedesktop/login1/session/c99";
        SystemLevelMonitor monitor(elsewhere);
        EXPECT_EQ(monitor.read(Kind::brightness), half);
        EXPECT_TRUE(waitUntil([&] { return monitor.read(Kind::brightness) == halfFixed; }));
    }
}

TEST(SystemLevelMonitor, InterceptionNeedsATrustedServerAndFreeKeys)
{
    {
        PrivateX bare({ "-extension", "XTEST" });
        ASSERT_TRUE(bare.isRunning());
        PrivatePulse pulse;
        X11InputBridge input(bare.display());
        SystemLevelMonitor::Sources sources;
        sources.pulseServer = pulse.address();
        sources.input = &input;
        sources.sysfsRoot = QDir::tempPath() + "/nimbra-no-sysfs";
        SystemLevelMonitor monitor(sources);
        EXPECT_FALSE(monitor.startIntercepting());
        EXPECT_FALSE(monitor.isIntercepting());
        monitor.stopIntercepting(); // never started: nothing happens
    }
    // Sound only, and a desktop daemon holds every one of its keys: nothing is ours.
    Peers peers(/*withSink=*/true, /*withBacklight=*/false, /*refuse=*/false, /*withKeyboard=*/false);
    ASSERT_TRUE(peers.ready);
    xcb_connection_t* desktop = xcb_connect(peers.x.display().constData(), nullptr);
    for (MediaKey key : { MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute })
        ASSERT_TRUE(nimbra::test::grabKey(desktop, keysym(key)));

    SystemLevelMonitor monitor(peers.sources());
    ASSERT_TRUE(waitUntil([&] { return monitor.read(Kind::volume).has_value(); }));
    EXPECT_FALSE(monitor.startIntercepting());
    EXPECT_FALSE(monitor.isIntercepting());
    EXPECT_TRUE(monitor.interceptedKeys().empty());
    // Once the daemon lets go (and the server has seen it), the next start takes them.
    xcb_ungrab_key(
        desktop, XCB_GRAB_ANY, xcb_setup_roots_iterator(xcb_get_setup(desktop)).data->root, XCB_MOD_MASK_ANY);
    free(xcb_get_input_focus_reply(desktop, xcb_get_input_focus(desktop), nullptr));
    xcb_disconnect(desktop);
    EXPECT_TRUE(monitor.startIntercepting());
    EXPECT_EQ(monitor.interceptedKeys(), (std::set { MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute }));
}

TEST(SystemLevelMonitor, AKeyAnotherProgramHoldsStaysWithItAndInterceptionIsOnForTheOthers)
{
    Peers peers(/*withSink=*/true, /*withBacklight=*/true, /*refuse=*/false, /*withKeyboard=*/false);
    ASSERT_TRUE(peers.ready);
    ASSERT_TRUE(peers.pulse.pactl({ "set-sink-volume", "nimbra_null", "50%" }));
    xcb_connection_t* desktop = xcb_connect(peers.x.display().constData(), nullptr);
    ASSERT_TRUE(nimbra::test::grabKey(desktop, keysym(MediaKey::mute)));

    SystemLevelMonitor monitor(peers.sources());
    Recorder seen;
    seen.attach(monitor);
    ASSERT_TRUE(waitUntil([&] { return monitor.read(Kind::volume).has_value(); }));
    EXPECT_TRUE(monitor.startIntercepting());
    EXPECT_EQ(monitor.interceptedKeys(),
        (std::set { MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::brightnessUp, MediaKey::brightnessDown }));
    EXPECT_FALSE(othersCanGrab(peers.x, MediaKey::raiseVolume));

    // A keyboard mapping change re-grabs without losing the keys held: another program that
    // tries meanwhile is refused, and the keys keep working.
    ASSERT_TRUE(peers.x.run("xmodmap", { "-e", "keycode 210 = XF86AudioRaiseVolume" }));
    ASSERT_TRUE(waitUntil([&] { return peers.input.keycodes(keysym(MediaKey::raiseVolume)).size() == 2; }));
    EXPECT_FALSE(othersCanGrab(peers.x, MediaKey::lowerVolume));
    ASSERT_TRUE(peers.x.run("xdotool", { "key", "--clearmodifiers", "210" }));
    ASSERT_TRUE(waitUntil([&] { return seen.keyed.size() == 1; }));
    EXPECT_DOUBLE_EQ(seen.keyed[0].value, 0.5625) << "the new key code of volume up was not taken";
    EXPECT_TRUE(monitor.isIntercepting());
    xcb_disconnect(desktop);
}
