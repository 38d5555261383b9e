#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);

// The audio device behind a volume reading.
struct AudioOutput {
    enum class Kind { builtIn, headphones, airPods, bluetooth, display, airPlay, external };

    QString name;
    Kind kind = Kind::builtIn;

    AudioOutput() = default;
    AudioOutput(QString name, Kind kind)
        : name(std::move(name))
        , kind(kind)
    {
    }

    // The symbol shown in place of the speaker; none for the built-in speakers.
    std::optional<QString> symbol() const;
    // Every output but the built-in speakers is named beside the reading.
    bool isWorthNaming() const { return kind != Kind::builtIn; }

    bool operator==(const AudioOutput&) const = default;
};

QString rawValue(AudioOutput::Kind kind);
template <> std::optional<AudioOutput::Kind> fromRawValue<AudioOutput::Kind>(QStringView raw);

// One reading of a user-adjustable level: output volume, display brightness or keyboard backlight.
struct SystemLevel {
    enum class Kind { volume, brightness, keyboardBacklight };

    // One ordinary key step; a fine step is a quarter of it.
    static constexpr double step = 0.0625;
    static constexpr double fineStep = 0.015625;

    Kind kind = Kind::volume;
    double value = 0; // 0...1, kept so by the constructor and stepped()
    bool isMuted = false; // volume only
    bool isAvailable = false; // the level can be read and controlled here
    std::optional<AudioOutput> output; // volume only

    SystemLevel() = default;
    SystemLevel(Kind kind, double value, bool isMuted, bool isAvailable, std::optional<AudioOutput> output);

    int percentage() const;
    // The output's name for a volume on anything but the built-in speakers.
    std::optional<QString> detail() const;
    QString symbol() const;

    // A copy moved by `steps` key steps (negative steps go down). Only a volume step up unmutes.
    SystemLevel stepped(int steps, bool fine) const;

    bool operator==(const SystemLevel&) const = default;
};

QString rawValue(SystemLevel::Kind kind);
template <> std::optional<SystemLevel::Kind> fromRawValue<SystemLevel::Kind>(QStringView raw);
// "Volume", "Brightness", "Keyboard".
QString title(SystemLevel::Kind kind);

} // namespace nimbra
