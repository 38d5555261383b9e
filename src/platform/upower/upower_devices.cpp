#include "platform/upower/upower_devices.h"

#include "core/diagnostics.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QSet>
#include <QTimer>

#include <cmath>

namespace nimbra {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kDaemonPath = QStringLiteral("/org/freedesktop/UPower");
const QString kDaemonInterface = QStringLiteral("org.freedesktop.UPower");
// UPower's own combination of the batteries that power the machine, however many there are.
const QString kDisplayDevicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kCallTimeoutMs = 5000;
// One hardware change reaches us as several signals (the line power, the battery, the daemon's
// OnBattery) that the bus may hand over in more than one turn of the event loop; they are
// read as one once this long has passed since the first. Short enough not to be seen.
constexpr int kSettleMs = 60;

// UPower's device types and states this reading uses.
enum DeviceType : uint {
    linePower = 1,
    batteryType = 2,
    mouseType = 5,
    keyboardType = 6,
    touchpadType = 14,
    headsetType = 17,
    headphonesType = 19
};
enum DeviceState : uint { charging = 1, fullyCharged = 4 };

// The properties a battery reading or the accessory list is made of; a change to any other
// (the update time, the energy rate, the icon) changes nothing we show.
const QSet<QString>& usedDeviceProperties()
{
    static const QSet<QString> names { QStringLiteral("Type"), QStringLiteral("PowerSupply"), QStringLiteral("Online"),
        QStringLiteral("Percentage"), QStringLiteral("State"), QStringLiteral("TimeToEmpty"),
        QStringLiteral("TimeToFull"), QStringLiteral("Model"), QStringLiteral("IsPresent") };
    return names;
}

std::optional<DeviceBattery::Kind> kindOf(uint type)
{
    switch (type) {
    case mouseType:
        return DeviceBattery::Kind::mouse;
    case keyboardType:
        return DeviceBattery::Kind::keyboard;
    case touchpadType:
        return DeviceBattery::Kind::trackpad;
    case headsetType:
    case headphonesType:
        return DeviceBattery::Kind::headphones;
    default:
        return std::nullopt; // by name
    }
}

// UPower gives times in seconds, 0 when unknown.
std::optional<int> minutesFrom(qlonglong seconds)
{
    return PowerSnapshot::minutesFromIOKit(int(std::min<qlonglong>(seconds / 60, 65535)));
}

void logPower(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::power, [&] { return message; });
}

} // namespace

struct UPowerDevices::Private {
    struct Device {
        QString path;
        QVariantMap properties;
        bool loaded = false;

        uint type() const { return properties.value(QStringLiteral("Type")).toUInt(); }
        bool isPowerSupply() const { return properties.value(QStringLiteral("PowerSupply")).toBool(); }
        bool isPresent() const { return properties.value(QStringLiteral("IsPresent"), true).toBool(); }
        uint state() const { return properties.value(QStringLiteral("State")).toUInt(); }
        double percentage() const { return properties.value(QStringLiteral("Percentage")).toDouble(); }
    };

    UPowerDevices* q = nullptr;
    QDBusConnection bus;
    QDBusServiceWatcher serviceWatcher;
    bool started = false;
    // In the daemon's order, which the accessory list keeps.
    QList<Device> devices;
    QVariantMap daemon;
    QVariantMap display;
    bool enumerated = false;
    bool daemonLoaded = false;
    bool displayLoaded = false;
    // Answers to reads made before the daemon went or came again are dropped.
    int generation = 0;
    bool hasChanges = false;
    QTimer coalesce;

    explicit Private(QDBusConnection connection)
        : bus(std::move(connection))
    {
    }

    Device* device(const QString& path)
    {
        for (Device& d : devices)
            if (d.path == path)
                return &d;
        return nullptr;
    }

    bool isLoaded() const
    {
        if (!enumerated || !daemonLoaded || !displayLoaded)
            return false;
        for (const Device& d : devices)
            if (!d.loaded)
                return false;
        return true;
    }

    // Notes a change; the notice goes out once the rest of its burst has arrived, and only
    // while every read has been answered. Later changes of the burst do not push it back.
    void noteChange()
    {
        hasChanges = true;
        if (isLoaded() && !coalesce.isActive())
            coalesce.start();
    }

    void flush()
    {
        if (!hasChanges || !isLoaded())
            return;
        hasChanges = false;
        Q_EMIT q->changed();
    }

    QDBusPendingCall call(
        const QString& path, const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
        message.setArguments(arguments);
        return bus.asyncCall(message, kCallTimeoutMs);
    }

    template <typename Reply, typename Then> void whenAnswered(QDBusPendingCall pending, Then then)
    {
        auto* watcher = new QDBusPendingCallWatcher(pending, q);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, q,
            [this, asked = generation, then = std::move(then)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (asked != generation)
                    return;
                then(Reply(*w));
            });
    }

    void forget()
    {
        ++generation;
        const bool hadAnything = !devices.isEmpty() || !daemon.isEmpty() || !display.isEmpty();
        devices.clear();
        daemon.clear();
        display.clear();
        enumerated = false;
        daemonLoaded = false;
        displayLoaded = false;
        hasChanges = false;
        coalesce.stop();
        if (hadAnything)
            Q_EMIT q->changed();
    }

    void load()
    {
        forget();
        whenAnswered<QDBusPendingReply<QVariantMap>>(
            call(kDaemonPath, kProperties, QStringLiteral("GetAll"), { kDaemonInterface }),
            [this](const QDBusPendingReply<QVariantMap>& reply) {
                if (reply.isError())
                    return; // no daemon: nothing is known, nothing reported
                daemon = reply.value();
                daemonLoaded = true;
                noteChange();
            });
        whenAnswered<QDBusPendingReply<QVariantMap>>(
            call(kDisplayDevicePath, kProperties, QStringLiteral("GetAll"), { kDeviceInterface }),
            [this](const QDBusPendingReply<QVariantMap>& reply) {
                // Without it the machine counts as one without a battery; the accessories stay.
                if (reply.isError())
                    logPower(QStringLiteral("UPower has no display device: ") + reply.error().name());
                else
                    display = reply.value();
                displayLoaded = true;
                noteChange();
            });
        whenAnswered<QDBusPendingReply<QList<QDBusObjectPath>>>(
            call(kDaemonPath, kDaemonInterface, QStringLiteral("EnumerateDevices")),
            [this](const QDBusPendingReply<QList<QDBusObjectPath>>& reply) {
                if (reply.isError()) {
                    logPower(QStringLiteral("UPower gave no devices: ") + reply.error().name());
                    return;
                }
                for (const QDBusObjectPath& path : reply.value())
                    add(path.path());
                enumerated = true;
                noteChange();
            });
    }

    void add(const QString& path)
    {
        if (device(path))
            return;
        devices.append(Device { path, {}, false });
        whenAnswered<QDBusPendingReply<QVariantMap>>(
            call(path, kProperties, QStringLiteral("GetAll"), { kDeviceInterface }),
            [this, path](const QDBusPendingReply<QVariantMap>& reply) {
                Device* d = device(path);
                if (!d)
                    return;
                if (reply.isError()) {
                    // Gone between its announcement and our read.
                    devices.removeIf([&](const Device& each) { return each.path == path; });
                } else {
                    // Signals that arrived before this answer are older than it.
                    d->properties = reply.value();
                    d->loaded = true;
                }
                noteChange();
            });
    }
};

UPowerDevices::UPowerDevices(QDBusConnection systemBus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(systemBus)))
{
    d->q = this;
    d->coalesce.setSingleShot(true);
    d->coalesce.setInterval(kSettleMs);
    connect(&d->coalesce, &QTimer::timeout, this, [this] { d->flush(); });
}

UPowerDevices::~UPowerDevices() = default;

void UPowerDevices::start()
{
    if (d->started)
        return;
    d->started = true;
    d->serviceWatcher.setConnection(d->bus);
    d->serviceWatcher.addWatchedService(kService);
    connect(&d->serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& newOwner) {
            logPower(newOwner.isEmpty() ? QStringLiteral("UPower went away") : QStringLiteral("UPower is here"));
            if (newOwner.isEmpty())
                d->forget();
            else
                d->load();
        });
    d->bus.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    d->bus.connect(kService, kDaemonPath, kDaemonInterface, QStringLiteral("DeviceAdded"), this,
        SLOT(deviceAdded(QDBusObjectPath)));
    d->bus.connect(kService, kDaemonPath, kDaemonInterface, QStringLiteral("DeviceRemoved"), this,
        SLOT(deviceRemoved(QDBusObjectPath)));
    d->load();
}

bool UPowerDevices::isStarted() const
{
    return d->started;
}

bool UPowerDevices::isLoaded() const
{
    return d->isLoaded();
}

void UPowerDevices::propertiesChanged(
    const QString& interface, const QVariantMap& changed, const QStringList& invalidated, const QDBusMessage& message)
{
    QVariantMap* properties = nullptr;
    if (interface == kDeviceInterface && message.path() == kDisplayDevicePath) {
        properties = d->displayLoaded ? &d->display : nullptr;
    } else if (interface == kDeviceInterface) {
        Private::Device* device = d->device(message.path());
        properties = device ? &device->properties : nullptr;
    } else if (interface == kDaemonInterface && message.path() == kDaemonPath) {
        properties = &d->daemon;
    }
    if (!properties)
        return; // a device not announced or read yet
    bool matters = false;
    for (auto it = changed.begin(); it != changed.end(); ++it) {
        if ((*properties).value(it.key()) == it.value())
            continue;
        properties->insert(it.key(), it.value());
        matters = matters || interface == kDaemonInterface || usedDeviceProperties().contains(it.key());
    }
    for (const QString& name : invalidated)
        matters = (properties->remove(name) > 0 && usedDeviceProperties().contains(name)) || matters;
    if (matters)
        d->noteChange();
}

void UPowerDevices::deviceAdded(const QDBusObjectPath& path)
{
    if (!d->enumerated)
        return; // the enumeration on its way lists it
    d->add(path.path());
}

void UPowerDevices::deviceRemoved(const QDBusObjectPath& path)
{
    if (d->devices.removeIf([&](const Private::Device& each) { return each.path == path.path(); }) > 0)
        d->noteChange();
}

std::optional<PowerSnapshot> UPowerDevices::battery() const
{
    if (!d->isLoaded())
        return std::nullopt;
    const Private::Device battery { kDisplayDevicePath, d->display, true };
    if (battery.type() != batteryType || !battery.properties.value(QStringLiteral("IsPresent")).toBool())
        return std::nullopt;
    bool lineOnline = false;
    for (const Private::Device& device : d->devices) {
        if (device.type() == linePower && device.properties.value(QStringLiteral("Online")).toBool())
            lineOnline = true;
    }
    const bool onBattery = d->daemon.value(QStringLiteral("OnBattery"), true).toBool();
    PowerSnapshot s;
    s.percentage = int(std::lround(battery.percentage()));
    s.source = !onBattery && lineOnline ? PowerSnapshot::Source::wallPower : PowerSnapshot::Source::battery;
    s.isCharging = battery.state() == charging;
    s.isCharged = battery.state() == fullyCharged;
    s.minutesToFull = minutesFrom(battery.properties.value(QStringLiteral("TimeToFull")).toLongLong());
    s.minutesToEmpty = minutesFrom(battery.properties.value(QStringLiteral("TimeToEmpty")).toLongLong());
    return s;
}

QList<AccessoryReading> UPowerDevices::accessories() const
{
    QList<AccessoryReading> result;
    for (const Private::Device& device : d->devices) {
        if (!device.loaded || device.isPowerSupply() || device.type() == linePower)
            continue;
        AccessoryReading reading;
        reading.identity = device.path;
        reading.name = device.properties.value(QStringLiteral("Model")).toString().trimmed();
        reading.kind = kindOf(device.type());
        reading.percentage = int(std::lround(device.percentage()));
        reading.isCharging = device.state() == charging;
        result.append(reading);
    }
    return result;
}

} // namespace nimbra
