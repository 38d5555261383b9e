#pragma once

#include "core/device_battery.h"
#include "core/power_snapshot.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QVariantMap>
#include <memory>
#include <optional>

class QDBusMessage;

namespace nimbra {

// The power devices UPower knows (the internal battery, line power, accessories) and its
// daemon state, kept from its signals and asynchronous reads: reading them never waits on the
// bus. The daemon may start after us, go away or restart; the kept state follows it.
class UPowerDevices final : public QObject {
    Q_OBJECT
public:
    explicit UPowerDevices(QDBusConnection systemBus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~UPowerDevices() override;

    // Begins following the daemon; later calls do nothing.
    void start();
    bool isStarted() const;
    // Every device and the daemon's own state have been read since the daemon was last seen.
    bool isLoaded() const;

    // The batteries that power the machine, as UPower's display device combines them (one
    // charge, state and estimate for two batteries too). None on a machine without one, or
    // while nothing is loaded. Low Power Mode is not UPower's to say: it is left off here.
    std::optional<PowerSnapshot> battery() const;
    // The devices that do not power the machine and may report a charge (mice, keyboards,
    // headsets...), in the daemon's order, identified by their object paths.
    QList<AccessoryReading> accessories() const;

    struct Private;

Q_SIGNALS:
    // Once for all the changes of one burst (one plug-in changes the line power, the battery
    // state and the daemon's OnBattery, which may arrive over several turns of the event
    // loop), and only when something the battery reading or the accessory list uses changed.
    // Both power monitors listen.
    void changed();

private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated,
        const QDBusMessage& message);
    void deviceAdded(const QDBusObjectPath& path);
    void deviceRemoved(const QDBusObjectPath& path);

private:
    std::unique_ptr<Private> d;
};

} // namespace nimbra
