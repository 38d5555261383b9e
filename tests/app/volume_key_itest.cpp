#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <cstdlib>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using nimbra::test::NimbraProcess;
using nimbra::test::waitUntil;

namespace {
constexpr std::uint32_t raiseVolumeKey = 0x1008FF13; // XF86AudioRaiseVolume
constexpr std::uint32_t lowerVolumeKey = 0x1008FF11; // XF86AudioLowerVolume
constexpr std::uint32_t muteKey = 0x1008FF12; // XF86AudioMute

// The null sink's volume in the sound server's own units (65536 is 100 %), or -1.
int sinkVolume(const nimbra::test::PrivatePulse& pulse)
{
    const QRegularExpression value(R"(front-left:\s*(\d+)\s*/)");
    const auto match = value.match(pulse.pactl({ "get-sink-volume", "nimbra_null" }).value_or(QString()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

TEST(VolumeKeyEndToEnd, RaisesTheSinkAndTheNotchShowsTheReadoutThenRestsAgain)
{
    // Servers of its own: nobody else moves the pointer over its notch or changes its sink.
    nimbra::test::PrivateX x;
    nimbra::test::PrivatePulse pulse;
    ASSERT_TRUE(x.isRunning());
    ASSERT_TRUE(pulse.isRunning());
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "nimbra_null", "50%" }));
    NimbraProcess nimbra(R"({ "module.hud.replacement": true, "display.showOnAll": true })");
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display(), "PULSE_SERVER=" + pulse.address() }));
    ASSERT_TRUE(nimbra.waitForLog("level   intercepting media keys\n", 10000)) << nimbra.log().toStdString();
    ASSERT_TRUE(nimbra.waitForLog("level   observing volume on device ", 10000)) << nimbra.log().toStdString();
    EXPECT_TRUE(QRegularExpression(R"(level   observing volume on device \d+ \(no permission needed\)\n)")
                    .match(nimbra.log())
                    .hasMatch())
        << nimbra.log().toStdString();
    // The app reads this machine's own backlights; without one it says brightness is off, once.
    const QDir backlights("/sys/class/backlight");
    if (!backlights.exists() || backlights.isEmpty()) {
        EXPECT_EQ(nimbra.log().count("level   no backlight; brightness disabled\n"), 1)
            << nimbra.log().toStdString();
    }
    const int before = sinkVolume(pulse);
    ASSERT_GT(before, 0);

    ASSERT_TRUE(x.tap({ raiseVolumeKey }));
    const QRegularExpression shown(R"(surface \S+ dormant -> activity\(systemLevel, p40\)\n)");
    const QRegularExpression painted(R"(surface first frame of activity\(systemLevel, p40\) content\n)");
    const QRegularExpression gone(R"(surface \S+ activity\(systemLevel, p40\) -> dormant\n)");
    ASSERT_TRUE(waitUntil([&] { return gone.match(nimbra.log()).hasMatch(); }, 6000)) << nimbra.log().toStdString();
    // Shown, painted and gone again, in that order. (How fast: bench/volume_key_app.)
    const QString log = nimbra.log();
    const qsizetype shownAt = shown.match(log).capturedStart();
    const qsizetype paintedAt = painted.match(log).capturedStart();
    ASSERT_GE(shownAt, 0) << log.toStdString();
    EXPECT_GT(paintedAt, shownAt) << log.toStdString();
    EXPECT_GT(gone.match(log).capturedStart(), paintedAt) << log.toStdString();

    // One step is 1/16 of the range.
    EXPECT_NEAR(sinkVolume(pulse) - before, 65536 / 16, 2);
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}

TEST(VolumeKeyEndToEnd, AKeyTheDesktopHoldsStaysWithItAndItsChangesStillReachTheNotch)
{
    nimbra::test::PrivateX x;
    nimbra::test::PrivatePulse pulse;
    ASSERT_TRUE(x.isRunning());
    ASSERT_TRUE(pulse.isRunning());
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "nimbra_null", "50%" }));
    // The desktop's media-key daemon holds volume up.
    xcb_connection_t* desktop = xcb_connect(x.display().constData(), nullptr);
    ASSERT_TRUE(nimbra::test::grabKey(desktop, raiseVolumeKey));

    NimbraProcess nimbra(R"({ "module.hud.replacement": true, "display.showOnAll": true })");
    ASSERT_TRUE(nimbra.start({ "DISPLAY=" + x.display(), "PULSE_SERVER=" + pulse.address() }));
    ASSERT_TRUE(nimbra.waitForLog("level   intercepting media keys\n", 10000)) << nimbra.log().toStdString();
    EXPECT_TRUE(
        nimbra.waitForLog("level   XF86AudioRaiseVolume is held by another program; it stays with that program\n"))
        << nimbra.log().toStdString();
    EXPECT_EQ(nimbra.log().count("XF86AudioRaiseVolume is held by another program"), 1) << nimbra.log().toStdString();
    ASSERT_TRUE(nimbra.waitForLog("level   observing volume on device ", 10000)) << nimbra.log().toStdString();

    // Volume down and mute are Nimbra's: nobody else can take them, and volume down works.
    for (std::uint32_t key : { lowerVolumeKey, muteKey }) {
        xcb_connection_t* other = xcb_connect(x.display().constData(), nullptr);
        EXPECT_FALSE(nimbra::test::grabKey(other, key)) << std::hex << key;
        xcb_disconnect(other);
    }
    const int before = sinkVolume(pulse);
    ASSERT_TRUE(x.tap({ lowerVolumeKey }));
    ASSERT_TRUE(waitUntil([&] { return sinkVolume(pulse) < before; })) << nimbra.log().toStdString();
    const QString readout = "dormant -> activity(systemLevel, p40)\n";
    const QString readoutGone = "activity(systemLevel, p40) -> dormant\n";
    ASSERT_TRUE(nimbra.waitForLog(readoutGone, 6000)) << nimbra.log().toStdString();

    // Volume up reaches the desktop, which changes the volume its own way: the notch shows it.
    ASSERT_TRUE(x.tap({ raiseVolumeKey }));
    bool delivered = false;
    ASSERT_TRUE(waitUntil([&] {
        while (xcb_generic_event_t* event = xcb_poll_for_event(desktop)) {
            delivered = delivered || (event->response_type & 0x7f) == XCB_KEY_PRESS;
            free(event);
        }
        return delivered;
    })) << "volume up did not reach the program that holds it";
    ASSERT_TRUE(pulse.pactl({ "set-sink-volume", "nimbra_null", "+6%" }));
    EXPECT_TRUE(waitUntil([&] { return nimbra.log().count(readout) == 2; }, 6000)) << nimbra.log().toStdString();
    EXPECT_TRUE(nimbra.log().contains("level   observed volume = ")) << nimbra.log().toStdString();
    xcb_disconnect(desktop);
    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
