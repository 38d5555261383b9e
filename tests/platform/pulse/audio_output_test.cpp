#include "platform/pulse/pulse_volume.h"

#include <gtest/gtest.h>

using namespace nimbra;
using Kind = AudioOutput::Kind;

namespace {

SinkTraits traits(QString description, QString bus, QString form = {}, QString port = {}, QString api = {})
{
    SinkTraits t;
    t.description = std::move(description);
    t.bus = std::move(bus);
    t.formFactor = std::move(form);
    t.activePort = std::move(port);
    t.api = std::move(api);
    t.sinkName = "alsa_output.0";
    return t;
}

} // namespace

TEST(AudioOutputOfSink, KindFollowsBusFormFactorAndPort)
{
    EXPECT_EQ(audioOutput(traits("Built-in Audio Analog Stereo", "pci", "internal", "analog-output-speaker")).kind,
        Kind::builtIn);
    EXPECT_EQ(audioOutput(traits("Built-in Audio Analog Stereo", "pci", "internal", "analog-output-headphones")).kind,
        Kind::headphones);
    EXPECT_EQ(audioOutput(traits("HDMI / DisplayPort", "pci", {}, "hdmi-output-0")).kind, Kind::display);
    EXPECT_EQ(audioOutput(traits("Sam's AirPods Pro", "bluetooth", "headphone")).kind, Kind::airPods);
    EXPECT_EQ(audioOutput(traits("Some AIRPODS", "bluetooth")).kind, Kind::airPods);
    EXPECT_EQ(audioOutput(traits("Boom Speaker", "bluetooth", "speaker")).kind, Kind::bluetooth);
    EXPECT_EQ(audioOutput(traits("USB Audio Interface", "usb")).kind, Kind::external);
    EXPECT_EQ(audioOutput(traits("Kitchen", {}, {}, {}, "raop")).kind, Kind::airPlay);
}

// Only the machine's own output is headphones when something is plugged into it; a headset or
// headphones of their own (USB) are an external device.
TEST(AudioOutputOfSink, HeadphonesOnlyOnTheBuiltInOutput)
{
    EXPECT_EQ(audioOutput(traits("Built-in Audio", "platform", {}, "headphone-out")).kind, Kind::headphones);
    EXPECT_EQ(audioOutput(traits("Built-in Audio", "pci", "headphone")).kind, Kind::headphones);
    EXPECT_EQ(audioOutput(traits("USB Headset", "usb", "headset")).kind, Kind::external);
    EXPECT_EQ(
        audioOutput(traits("USB Headphones", "usb", "headphone", "analog-output-headphones")).kind, Kind::external);
}

TEST(AudioOutputOfSink, NameFallsBackToOutput)
{
    const AudioOutput output = audioOutput(traits({}, "usb"));
    EXPECT_EQ(output.name, "Output");
    EXPECT_EQ(audioOutput(traits("Desk", "usb")).name, "Desk");
}
