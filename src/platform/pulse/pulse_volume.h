#pragma once

#include "core/system_level.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace nimbra {

// What a sink says about itself, enough to tell what sort of output it is.
struct SinkTraits {
    QString description; // device.description, else the sink's own description
    QString bus; // device.bus: "pci", "usb", "bluetooth", ...
    QString formFactor; // device.form_factor: "internal", "headphone", "headset", ...
    QString activePort; // e.g. "analog-output-headphones", "hdmi-output-0"
    QString api; // device.api: "alsa", "bluez", "raop", ...
    QString sinkName;
};

// The output a sink stands for: its display name and kind.
AudioOutput audioOutput(const SinkTraits& traits);

// Output volume and mute of the sound server's default sink, through libpulse running on the
// GLib main context that Qt's event dispatcher already drives, so every callback lands on the
// main thread. Reads come from the last state the server reported; writes go out at once and
// update that state, so a key press never waits for the server.
class PulseVolume final : public QObject {
    Q_OBJECT
public:
    // `server`: empty for libpulse's own choice (PULSE_SERVER, then the session's server).
    explicit PulseVolume(QString server = {}, QObject* parent = nullptr);
    ~PulseVolume() override;

    // While the server is gone, a new socket in its folder brings the next try: an idle Nimbra
    // without a sound server sleeps. Only when that folder cannot be watched (a server reached
    // over the network, no inotify watch to be had) is the server tried again on a clock, at
    // this interval.
    static constexpr int retryIntervalMs = 5000;
    void setRetryInterval(int ms);
    enum class Retry {
        none, // connected, or connecting
        onSocket, // waiting for the socket's folder to change
        onTimer, // the retry clock runs
    };
    Retry retry() const;

    bool isConnected() const;
    // A default sink is known: the volume can be read and changed.
    bool hasSink() const;
    // Always a volume level; unavailable (value 0, no output) without a sink.
    SystemLevel read() const;

    // Sets every channel so the loudest one lands on `value`, keeping the balance. Mute is not
    // touched: the caller decides it.
    void setVolume(double value);
    void setMuted(bool muted);

    // A reading that differs from the last one delivered or written here, whoever caused it
    // (another program, a new default sink).
    std::function<void(const SystemLevel&)> onChange;
    // The default sink appeared or went away.
    std::function<void(bool hasSink)> onSinkChange;

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace nimbra
