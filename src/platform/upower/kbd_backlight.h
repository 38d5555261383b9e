#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace nimbra {

// The keyboard backlight through UPower's KbdBacklight object, where UPower offers one. UPower
// may start after us or go away; availability follows it.
class KbdBacklight final : public QObject {
    Q_OBJECT
public:
    explicit KbdBacklight(QDBusConnection systemBus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~KbdBacklight() override;

    // UPower answered with a maximum above 0.
    bool isAvailable() const;
    // The last level UPower reported, 0...1.
    std::optional<double> read() const;
    // Where the next step starts: the level last asked for while a write is on its way, else read().
    std::optional<double> target() const;
    // Asks UPower for `value`; `done` gets the level UPower reports afterwards, refused or not.
    // A non-zero `direction` moves at least one step that way when `value` would round back onto
    // the current step (keyboards often have only two to four).
    void write(double value, int direction = 0, std::function<void(std::optional<double>)> done = {});

    // The level changed, by anyone but our own writes.
    std::function<void(double)> onChange;
    std::function<void(bool available)> onAvailabilityChange;

    struct Private;

private Q_SLOTS:
    void brightnessChanged(int value);

private:
    std::unique_ptr<Private> d;
};

} // namespace nimbra
