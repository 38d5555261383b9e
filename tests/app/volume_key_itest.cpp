#include "core/uptime.h"
#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>
#include <gtest/gtest.h>

using nimbra::test::NimbraProcess;
using nimbra::test::waitUntil;

namespace {
constexpr std::uint32_t raiseVolumeKey = 0x1008FF13; // XF86AudioRaiseVolume

// The null sink's volume in the sound server's own units (65536 is 100 %), or -1.
int sinkVolume(const nimbra::test::PrivatePulse& pulse)
{
    const QRegularExpression value(R"(front-left:\s*(\d+)\s*/)");
    const auto match = value.match(pulse.pactl({ "get-sink-volume", "nimbra_null" }).value_or(QString()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The uptime stamp of the first log line after `from` that matches `pattern`, or -1.
double stampOf(const QString& log, const QRegularExpression& pattern, qsizetype from = 0, qsizetype* at = nullptr)
{
    const auto match = pattern.match(log, from);
    if (!match.hasMatch())
        return -1;
    if (at)
        *at = match.capturedEnd();
    return match.captured(1).toDouble();
}
} // namespace

TEST(VolumeKeyEndToEnd, RaisesTheSinkAndTheNotchShowsTheReadoutForItsDuration)
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
        EXPECT_EQ(nimbra.log().count("level   DisplayServices unavailable; brightness disabled\n"), 1)
            << nimbra.log().toStdString();
    }
    const int before = sinkVolume(pulse);
    ASSERT_GT(before, 0);

    const double pressedAt = nimbra::uptime();
    ASSERT_TRUE(x.tap({ raiseVolumeKey }));

    const QRegularExpression shown(R"(\[\s*([\d.]+)\] surface \S+ dormant -> activity\(systemLevel, p40\)\n)");
    const QRegularExpression gone(R"(\[\s*([\d.]+)\] surface \S+ activity\(systemLevel, p40\) -> dormant\n)");
    ASSERT_TRUE(waitUntil([&] { return shown.match(nimbra.log()).hasMatch(); }, 3000)) << nimbra.log().toStdString();
    // The surface view logs the first frame it paints of the new content.
    const QRegularExpression painted(
        R"(\[\s*([\d.]+)\] surface first frame of activity\(systemLevel, p40\) content\n)");
    ASSERT_TRUE(waitUntil([&] { return gone.match(nimbra.log()).hasMatch(); }, 4000)) << nimbra.log().toStdString();

    // One step is 1/16 of the range.
    EXPECT_NEAR(sinkVolume(pulse) - before, 65536 / 16, 2);

    const QString log = nimbra.log();
    qsizetype after = 0;
    const double shownAt = stampOf(log, shown, 0, &after);
    const double goneAt = stampOf(log, gone, after);
    ASSERT_GT(goneAt, 0) << log.toStdString();
    const double paintedAt = stampOf(log, painted);
    ASSERT_GT(paintedAt, 0) << log.toStdString();
    EXPECT_GE(paintedAt, shownAt) << log.toStdString();
    // The readout lasts 1.3 s (restarted when the sound server echoes the change back).
    EXPECT_GE(goneAt - shownAt, 1.25) << log.toStdString();
    EXPECT_LE(goneAt - shownAt, 1.9) << log.toStdString();
    std::printf("key press to readout on the notch: %.1f ms; key press to its first painted frame: %.1f ms; "
                "readout shown for %.2f s\n",
        (shownAt - pressedAt) * 1000, (paintedAt - pressedAt) * 1000, goneAt - shownAt);

    EXPECT_TRUE(nimbra.terminate()) << nimbra.log().toStdString();
}
