// The chime against a sound server of the test's own with a null sink.
#include "platform/canberra/chime.h"

#include "core/diagnostics.h"
#include "support/captured_stderr.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

using namespace nimbra;
using nimbra::test::PrivatePulse;
using nimbra::test::waitUntil;

namespace {

// libcanberra keeps what its theme lookups found in a cache file under XDG_CACHE_HOME; each
// case gets a cache of its own so no case sees another's lookups.
struct OwnSoundCache {
    QTemporaryDir dir;
    OwnSoundCache() { qputenv("XDG_CACHE_HOME", dir.path().toUtf8()); }
};

std::optional<Chime::Outcome> playOnce(Chime& chime)
{
    std::optional<Chime::Outcome> outcome;
    chime.onOutcome = [&](const Chime::Outcome& o) { outcome = o; };
    chime.play(QStringLiteral("Timer finished"));
    waitUntil([&] { return outcome.has_value(); }, 15000);
    return outcome;
}

} // namespace

TEST(Chime, PlaysTheCompleteSoundThroughTheSoundServer)
{
    OwnSoundCache cache;
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    qputenv("PULSE_SERVER", pulse.address().toUtf8());
    Chime chime;
    const std::optional<Chime::Outcome> outcome = playOnce(chime);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->result, Chime::Result::played) << outcome->reason.toStdString();
    EXPECT_EQ(outcome->event, "complete");
    // The sound is a stream of ours on the null sink while it plays.
    QString inputs;
    EXPECT_TRUE(waitUntil(
        [&] {
            inputs = pulse.pactl({ "list", "sink-inputs" }).value_or("");
            return inputs.contains("event.id = \"complete\"");
        },
        5000))
        << inputs.toStdString();
    EXPECT_TRUE(inputs.contains("application.name = \"Nimbra\"")) << inputs.toStdString();
}

TEST(Chime, WithoutASoundThemeItStaysSilentWithOneDiagnosticsLine)
{
    qputenv("NIMBRA_DEBUG", "1");
    if (!Diagnostics::isEnabled())
        GTEST_SKIP() << "the log was already read as off in this process";
    OwnSoundCache cache;
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    qputenv("PULSE_SERVER", pulse.address().toUtf8());
    // No folder that could hold a sound theme.
    QTemporaryDir empty;
    qputenv("XDG_DATA_DIRS", empty.path().toUtf8());
    qputenv("XDG_DATA_HOME", empty.path().toUtf8());

    nimbra::test::CapturedStderr log;
    Chime chime;
    const std::optional<Chime::Outcome> outcome = playOnce(chime);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, Chime::Result::unavailable);
    log.release();
    const QList<QByteArray> lines = log.lines("chime");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains("timer   chime unavailable: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("\"complete\" nor a \"bell\"")) << lines[0].toStdString();
    EXPECT_EQ(pulse.pactl({ "list", "short", "sink-inputs" }).value_or("x"), "");
}

TEST(Chime, SilentWhileTheDesktopsEventSoundsAreOff)
{
    OwnSoundCache cache;
    PrivatePulse pulse;
    ASSERT_TRUE(pulse.isRunning());
    qputenv("PULSE_SERVER", pulse.address().toUtf8());
    Chime chime;
    chime.setEventSoundsEnabled(false);
    const std::optional<Chime::Outcome> outcome = playOnce(chime);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, Chime::Result::switchedOff);
    EXPECT_EQ(pulse.pactl({ "list", "short", "sink-inputs" }).value_or("x"), "");
}
