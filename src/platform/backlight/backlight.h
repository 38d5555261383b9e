#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace nimbra {

// The display backlight: read from sysfs, written through logind (which lets the session's
// user set it without privileges), watched through udev change events and through file
// notifications of the brightness attribute.
class Backlight final : public QObject {
    Q_OBJECT
public:
    // `sysfsRoot` holds class/backlight/<device>/{brightness,max_brightness,type}.
    explicit Backlight(QString sysfsRoot = QStringLiteral("/sys"),
        QDBusConnection systemBus = QDBusConnection::systemBus(),
        QString sessionPath = QStringLiteral("/org/freedesktop/login1/session/auto"), QObject* parent = nullptr);
    ~Backlight() override;

    // A backlight device was found.
    bool isAvailable() const;
    // A backlight device was found and nothing says logind will not set it: logind or this
    // process's session is not there (asked once when the device is found), or it refused a
    // write. A write it accepts makes the level writable again.
    bool isWritable() const;
    QString device() const;
    // The level now in sysfs, 0...1; none when it cannot be read.
    std::optional<double> read() const;
    // Where the next step starts: the level last asked for while a write is on its way, else read().
    std::optional<double> target() const;

    // Asks logind for `value`. `done` gets the level actually in place once logind has answered
    // (refused or not), read back from sysfs. A non-zero `direction` moves the level at least one
    // hardware step that way when `value` would round back onto the current step (a panel with
    // few steps would otherwise never move on a small key step).
    void write(double value, int direction = 0, std::function<void(std::optional<double>)> done = {});

    // The level changed, by anyone but our own writes; only readable levels are reported.
    std::function<void(double)> onChange;
    // A backlight device appeared or the one in use went away.
    std::function<void(bool available)> onAvailabilityChange;

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace nimbra
