#include "core/system_level.h"

#include "core/clamped.h"

#include <cmath>

namespace nimbra {

namespace {

// A value at or below 0 (NaN and -inf included) is silence; anything above 1 is full.
double unitValue(double value)
{
    if (std::isnan(value) || value <= 0)
        return 0;
    return clamped(value, 0.0, 1.0);
}

} // namespace

std::optional<QString> AudioOutput::symbol() const
{
    switch (kind) {
    case Kind::builtIn:
        return std::nullopt;
    case Kind::headphones:
        return QStringLiteral("headphones");
    case Kind::airPods:
        return QStringLiteral("airpods");
    case Kind::bluetooth:
    case Kind::external:
        return QStringLiteral("hifispeaker.fill");
    case Kind::display:
        return QStringLiteral("display");
    case Kind::airPlay:
        return QStringLiteral("airplayaudio");
    }
    return std::nullopt;
}

QString rawValue(AudioOutput::Kind kind)
{
    switch (kind) {
    case AudioOutput::Kind::builtIn:
        return QStringLiteral("builtIn");
    case AudioOutput::Kind::headphones:
        return QStringLiteral("headphones");
    case AudioOutput::Kind::airPods:
        return QStringLiteral("airPods");
    case AudioOutput::Kind::bluetooth:
        return QStringLiteral("bluetooth");
    case AudioOutput::Kind::display:
        return QStringLiteral("display");
    case AudioOutput::Kind::airPlay:
        return QStringLiteral("airPlay");
    case AudioOutput::Kind::external:
        return QStringLiteral("external");
    }
    return {};
}

template <> std::optional<AudioOutput::Kind> fromRawValue<AudioOutput::Kind>(QStringView raw)
{
    using K = AudioOutput::Kind;
    for (K kind : { K::builtIn, K::headphones, K::airPods, K::bluetooth, K::display, K::airPlay, K::external }) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

SystemLevel::SystemLevel(Kind kind, double value, bool isMuted, bool isAvailable, std::optional<AudioOutput> output)
    : kind(kind)
    , value(unitValue(value))
    , isMuted(isMuted)
    , isAvailable(isAvailable)
    , output(std::move(output))
{
}

int SystemLevel::percentage() const
{
    return int(std::lround(value * 100));
}

std::optional<QString> SystemLevel::detail() const
{
    if (kind == Kind::volume && output && output->kind != AudioOutput::Kind::builtIn)
        return output->name;
    return std::nullopt;
}

QString SystemLevel::symbol() const
{
    switch (kind) {
    case Kind::keyboardBacklight:
        return value <= 0.001 ? QStringLiteral("keyboard") : QStringLiteral("keyboard.fill");
    case Kind::brightness:
        return value < 0.5 ? QStringLiteral("sun.min.fill") : QStringLiteral("sun.max.fill");
    case Kind::volume:
        break;
    }
    if (isMuted || value <= 0.001)
        return QStringLiteral("speaker.slash.fill");
    if (output) {
        if (auto outputSymbol = output->symbol())
            return *outputSymbol;
    }
    if (value < 0.34)
        return QStringLiteral("speaker.wave.1.fill");
    if (value < 0.67)
        return QStringLiteral("speaker.wave.2.fill");
    return QStringLiteral("speaker.wave.3.fill");
}

SystemLevel SystemLevel::stepped(int steps, bool fine) const
{
    SystemLevel result = *this;
    result.value = unitValue(value + (fine ? fineStep : step) * steps);
    if (kind == Kind::volume && steps >= 1)
        result.isMuted = false;
    return result;
}

QString rawValue(SystemLevel::Kind kind)
{
    switch (kind) {
    case SystemLevel::Kind::volume:
        return QStringLiteral("volume");
    case SystemLevel::Kind::brightness:
        return QStringLiteral("brightness");
    case SystemLevel::Kind::keyboardBacklight:
        return QStringLiteral("keyboardBacklight");
    }
    return {};
}

template <> std::optional<SystemLevel::Kind> fromRawValue<SystemLevel::Kind>(QStringView raw)
{
    using K = SystemLevel::Kind;
    for (K kind : { K::volume, K::brightness, K::keyboardBacklight }) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

QString title(SystemLevel::Kind kind)
{
    switch (kind) {
    case SystemLevel::Kind::volume:
        return QStringLiteral("Volume");
    case SystemLevel::Kind::brightness:
        return QStringLiteral("Brightness");
    case SystemLevel::Kind::keyboardBacklight:
        return QStringLiteral("Keyboard");
    }
    return {};
}

} // namespace nimbra
