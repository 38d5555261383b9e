#include "platform/upower/power_profiles.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <array>

namespace nimbra {

namespace {

// The service's current name and the one it had before (still the only one on older systems).
struct Endpoint {
    QString service;
    QString path;
};
const std::array<Endpoint, 2> kEndpoints { {
    { QStringLiteral("org.freedesktop.UPower.PowerProfiles"), QStringLiteral("/org/freedesktop/UPower/PowerProfiles") },
    { QStringLiteral("net.hadess.PowerProfiles"), QStringLiteral("/net/hadess/PowerProfiles") },
} };
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kActiveProfile = QStringLiteral("ActiveProfile");
const QString kPowerSaver = QStringLiteral("power-saver");
constexpr int kCallTimeoutMs = 5000;

} // namespace

struct PowerProfiles::Private {
    PowerProfiles* q = nullptr;
    QDBusConnection bus;
    QDBusServiceWatcher watcher;
    bool started = false;
    // The active profile each name last reported; empty while it is absent.
    std::array<QString, kEndpoints.size()> profiles;
    std::array<int, kEndpoints.size()> generations {};

    explicit Private(QDBusConnection connection)
        : bus(std::move(connection))
    {
    }

    bool isPowerSaver() const
    {
        for (const QString& profile : profiles)
            if (profile == kPowerSaver)
                return true;
        return false;
    }

    void set(std::size_t index, const QString& profile)
    {
        const bool was = isPowerSaver();
        profiles[index] = profile;
        if (was != isPowerSaver() && q->onChange)
            q->onChange();
    }

    void read(std::size_t index)
    {
        const Endpoint& endpoint = kEndpoints[index];
        QDBusMessage message = QDBusMessage::createMethodCall(endpoint.service, endpoint.path, kProperties, "Get");
        message.setArguments({ endpoint.service, kActiveProfile });
        auto* call = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), q);
        QObject::connect(call, &QDBusPendingCallWatcher::finished, q,
            [this, index, asked = ++generations[index]](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (asked != generations[index])
                    return;
                const QDBusPendingReply<QDBusVariant> reply = *w;
                set(index, reply.isError() ? QString() : reply.value().variant().toString());
            });
    }
};

PowerProfiles::PowerProfiles(QDBusConnection systemBus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(systemBus)))
{
    d->q = this;
}

PowerProfiles::~PowerProfiles() = default;

void PowerProfiles::start()
{
    if (d->started)
        return;
    d->started = true;
    d->watcher.setConnection(d->bus);
    d->watcher.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    for (std::size_t i = 0; i < kEndpoints.size(); ++i) {
        const Endpoint& endpoint = kEndpoints[i];
        d->watcher.addWatchedService(endpoint.service);
        d->bus.connect(endpoint.service, endpoint.path, kProperties, QStringLiteral("PropertiesChanged"), this,
            SLOT(propertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
        d->read(i);
    }
    connect(&d->watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString& service, const QString&, const QString& owner) {
            for (std::size_t i = 0; i < kEndpoints.size(); ++i) {
                if (kEndpoints[i].service != service)
                    continue;
                if (owner.isEmpty()) {
                    ++d->generations[i];
                    d->set(i, QString());
                } else {
                    d->read(i);
                }
            }
        });
}

bool PowerProfiles::isPowerSaver() const
{
    return d->isPowerSaver();
}

void PowerProfiles::propertiesChanged(
    const QString& interface, const QVariantMap& changed, const QStringList&, const QDBusMessage& message)
{
    if (!changed.contains(kActiveProfile))
        return;
    for (std::size_t i = 0; i < kEndpoints.size(); ++i)
        if (kEndpoints[i].service == interface && kEndpoints[i].path == message.path())
            d->set(i, changed.value(kActiveProfile).toString());
}

} // namespace nimbra
