#include "core/system_level.h"

#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;
using K = SystemLevel::Kind;
using OK = AudioOutput::Kind;

namespace {

SystemLevel volume(double value, bool muted = false, std::optional<AudioOutput> output = std::nullopt)
{
    return SystemLevel(K::volume, value, muted, true, std::move(output));
}

} // namespace

TEST(SystemLevel, ConstructorKeepsTheValueInsideTheUnitRange)
{
    EXPECT_DOUBLE_EQ(volume(1.7).value, 1.0);
    EXPECT_DOUBLE_EQ(volume(-0.2).value, 0.0);
    EXPECT_DOUBLE_EQ(volume(std::numeric_limits<double>::quiet_NaN()).value, 0.0);
    EXPECT_DOUBLE_EQ(volume(std::numeric_limits<double>::infinity()).value, 1.0);
    EXPECT_DOUBLE_EQ(volume(-std::numeric_limits<double>::infinity()).value, 0.0);
    EXPECT_DOUBLE_EQ(volume(0.42).value, 0.42);
}

TEST(SystemLevel, OnlyAVolumeStepUpUnmutes)
{
    const SystemLevel muted = volume(0.5, true);
    const SystemLevel up = muted.stepped(1, false);
    EXPECT_DOUBLE_EQ(up.value, 0.5625);
    EXPECT_FALSE(up.isMuted);
    const SystemLevel down = muted.stepped(-1, false);
    EXPECT_DOUBLE_EQ(down.value, 0.4375);
    EXPECT_TRUE(down.isMuted);
    EXPECT_TRUE(muted.stepped(0, false).isMuted);
    // A muted brightness is not a thing, but the flag is never touched for other kinds.
    EXPECT_TRUE(SystemLevel(K::brightness, 0.5, true, true, std::nullopt).stepped(1, false).isMuted);
}

TEST(SystemLevel, StepsStopAtTheEnds)
{
    EXPECT_DOUBLE_EQ(volume(0.0).stepped(-1, false).value, 0.0);
    EXPECT_DOUBLE_EQ(SystemLevel(K::brightness, 0.99, false, true, std::nullopt).stepped(1, true).value, 1.0);
    EXPECT_DOUBLE_EQ(volume(0.98).stepped(1, false).value, 1.0);
    EXPECT_DOUBLE_EQ(volume(0.5).stepped(1, true).value, 0.515625);
    EXPECT_DOUBLE_EQ(volume(0.5).stepped(-3, true).value, 0.453125);

    SystemLevel level = volume(0.0);
    for (int i = 0; i < 16; ++i)
        level = level.stepped(1, false);
    EXPECT_DOUBLE_EQ(level.value, 1.0);
    level = volume(0.0);
    for (int i = 0; i < 63; ++i)
        level = level.stepped(1, true);
    EXPECT_LT(level.value, 1.0);
    EXPECT_DOUBLE_EQ(level.stepped(1, true).value, 1.0);
}

TEST(SystemLevel, SteppingKeepsKindAvailabilityAndOutput)
{
    const AudioOutput phones("Phones", OK::headphones);
    const SystemLevel level(K::volume, 0.25, false, false, phones);
    const SystemLevel next = level.stepped(2, false);
    EXPECT_EQ(next.kind, K::volume);
    EXPECT_FALSE(next.isAvailable);
    EXPECT_EQ(next.output, phones);
}

TEST(SystemLevel, VolumeSymbolFollowsMuteValueAndOutput)
{
    EXPECT_EQ(volume(0.0005).symbol(), "speaker.slash.fill");
    EXPECT_EQ(volume(0.9, true).symbol(), "speaker.slash.fill");
    EXPECT_EQ(volume(0.2).symbol(), "speaker.wave.1.fill");
    EXPECT_EQ(volume(0.34).symbol(), "speaker.wave.2.fill");
    EXPECT_EQ(volume(0.67).symbol(), "speaker.wave.3.fill");

    const SystemLevel airPlay = volume(0.5, false, AudioOutput("Living Room", OK::airPlay));
    EXPECT_EQ(airPlay.symbol(), "airplayaudio");
    EXPECT_EQ(airPlay.detail(), QString("Living Room"));
    const SystemLevel speakers = volume(0.5, false, AudioOutput("MacBook Speakers", OK::builtIn));
    EXPECT_EQ(speakers.symbol(), "speaker.wave.2.fill");
    EXPECT_EQ(speakers.detail(), std::nullopt);
    // Muted wins over the device's own symbol.
    EXPECT_EQ(volume(0.5, true, AudioOutput("Buds", OK::airPods)).symbol(), "speaker.slash.fill");
}

TEST(SystemLevel, BrightnessAndKeyboardSymbols)
{
    EXPECT_EQ(SystemLevel(K::brightness, 0.5, false, true, std::nullopt).symbol(), "sun.max.fill");
    EXPECT_EQ(SystemLevel(K::brightness, 0.49, false, true, std::nullopt).symbol(), "sun.min.fill");
    EXPECT_EQ(SystemLevel(K::keyboardBacklight, 0.001, false, true, std::nullopt).symbol(), "keyboard");
    EXPECT_EQ(SystemLevel(K::keyboardBacklight, 0.002, false, true, std::nullopt).symbol(), "keyboard.fill");
    // Only a volume names its output.
    const SystemLevel odd(K::brightness, 0.5, false, true, AudioOutput("TV", OK::display));
    EXPECT_EQ(odd.detail(), std::nullopt);
}

TEST(SystemLevel, PercentageRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(volume(0.125).percentage(), 13);
    EXPECT_EQ(volume(0.5).percentage(), 50);
    EXPECT_EQ(volume(0.995).percentage(), 100);
    EXPECT_EQ(volume(0.004).percentage(), 0);
}

TEST(AudioOutput, SymbolsAndNaming)
{
    EXPECT_EQ(AudioOutput("a", OK::builtIn).symbol(), std::nullopt);
    EXPECT_FALSE(AudioOutput("a", OK::builtIn).isWorthNaming());
    EXPECT_EQ(AudioOutput("a", OK::headphones).symbol(), QString("headphones"));
    EXPECT_EQ(AudioOutput("a", OK::airPods).symbol(), QString("airpods"));
    EXPECT_EQ(AudioOutput("a", OK::bluetooth).symbol(), QString("hifispeaker.fill"));
    EXPECT_EQ(AudioOutput("a", OK::display).symbol(), QString("display"));
    EXPECT_EQ(AudioOutput("a", OK::external).symbol(), QString("hifispeaker.fill"));
    EXPECT_TRUE(AudioOutput("a", OK::external).isWorthNaming());
    EXPECT_NE(AudioOutput("a", OK::external), AudioOutput("b", OK::external));
    EXPECT_NE(AudioOutput("a", OK::external), AudioOutput("a", OK::display));
}

TEST(SystemLevel, RawValuesRoundTripAndRejectStrangers)
{
    for (K kind : { K::volume, K::brightness, K::keyboardBacklight })
        EXPECT_EQ(fromRawValue<K>(rawValue(kind)), kind);
    EXPECT_EQ(rawValue(K::keyboardBacklight), "keyboardBacklight");
    EXPECT_EQ(title(K::keyboardBacklight), "Keyboard");
    EXPECT_EQ(fromRawValue<K>(u"Volume"), std::nullopt);
    EXPECT_EQ(fromRawValue<K>(u""), std::nullopt);

    for (OK kind : { OK::builtIn, OK::headphones, OK::airPods, OK::bluetooth, OK::display, OK::airPlay, OK::external })
        EXPECT_EQ(fromRawValue<OK>(rawValue(kind)), kind);
    EXPECT_EQ(rawValue(OK::airPlay), "airPlay");
    EXPECT_EQ(fromRawValue<OK>(u"airplay"), std::nullopt);
}
