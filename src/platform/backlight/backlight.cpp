#include "platform/backlight/backlight.h"

#include "core/diagnostics.h"
#include "platform/pending_steps.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <libudev.h>

#include <algorithm>
#include <utility>

namespace nimbra {

namespace {

void logLevel(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

std::optional<qint64> readNumber(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 number = file.read(64).trimmed().toLongLong(&ok);
    if (!ok || number < 0)
        return std::nullopt;
    return number;
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(64).trimmed());
}

// Firmware interfaces know the panel best, raw driver registers least (the order logind and
// the desktops use as well).
int typeRank(const QString& type)
{
    if (type == u"firmware")
        return 0;
    if (type == u"platform")
        return 1;
    return 2;
}

constexpr int kWriteTimeoutMs = 3000;

// An answer that says logind cannot set the level; no answer in time says nothing either way.
bool refuses(const QDBusError& error)
{
    return error.isValid() && error.type() != QDBusError::NoReply && error.type() != QDBusError::Timeout
        && error.type() != QDBusError::TimedOut;
}

} // namespace

struct Backlight::Private {
    Backlight* q = nullptr;
    QString root;
    QDBusConnection bus;
    QString sessionPath;
    QString device;
    qint64 maximum = 0;
    std::optional<qint64> lastRaw;
    bool refused = false;
    bool askedSession = false;
    PendingSteps pending;
    QFileSystemWatcher watcher;
    udev* udevContext = nullptr;
    udev_monitor* monitor = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;

    explicit Private(QDBusConnection connection)
        : bus(std::move(connection))
    {
    }

    QString devicePath() const { return root + "/class/backlight/" + device; }

    void findDevice()
    {
        const QDir dir(root + "/class/backlight");
        QString best;
        int bestRank = 3;
        qint64 bestMaximum = 0;
        for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const auto maximum = readNumber(dir.filePath(name) + "/max_brightness");
            if (!maximum || *maximum <= 0)
                continue;
            const int rank = typeRank(readText(dir.filePath(name) + "/type"));
            if (rank < bestRank) {
                best = name;
                bestRank = rank;
                bestMaximum = *maximum;
            }
        }
        device = best;
        maximum = bestMaximum;
        if (device.isEmpty())
            return;
        logLevel(QStringLiteral("backlight ") + device);
        watcher.addPath(devicePath() + "/brightness");
        lastRaw = readNumber(devicePath() + "/brightness");
        askSession();
    }

    // Whether logind knows this process's session, which is what may set the level: asked once,
    // without waiting for the answer.
    void askSession()
    {
        if (std::exchange(askedSession, true))
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"), sessionPath,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << QStringLiteral("org.freedesktop.login1.Session") << QStringLiteral("Id");
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kWriteTimeoutMs), q);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, q, [this](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (refuses(w->error())) {
                refused = true;
                logLevel(QStringLiteral("brightness can be read but not set: ") + w->error().name());
            }
        });
    }

    // A device came or went: take the best one there is now.
    void rescan()
    {
        const bool had = !device.isEmpty();
        if (had) {
            if (QDir(devicePath()).exists())
                return;
            watcher.removePath(devicePath() + "/brightness");
        }
        findDevice();
        if (had != !device.isEmpty() && q->onAvailabilityChange)
            q->onAvailabilityChange(!device.isEmpty());
    }

    std::optional<qint64> readRaw() const
    {
        if (device.isEmpty())
            return std::nullopt;
        auto raw = readNumber(devicePath() + "/brightness");
        if (raw)
            raw = std::min(*raw, maximum);
        return raw;
    }

    std::optional<double> fraction(std::optional<qint64> raw) const
    {
        if (!raw || maximum <= 0)
            return std::nullopt;
        return double(*raw) / double(maximum);
    }

    void check()
    {
        const auto raw = readRaw();
        if (!raw || raw == lastRaw)
            return; // unreadable for a moment (a write in progress) or no change
        lastRaw = raw;
        // Our own write landing is not news: the key path reports it.
        if (pending.isOurs(*raw))
            return;
        if (q->onChange)
            q->onChange(*fraction(raw));
    }

    void startUdev()
    {
        udevContext = udev_new();
        if (udevContext)
            monitor = udev_monitor_new_from_netlink(udevContext, "udev");
        if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "backlight", nullptr) < 0
            || udev_monitor_enable_receiving(monitor) < 0) {
            logLevel(QStringLiteral("no udev monitor for the backlight; watching the file only"));
            return;
        }
        notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, q, [this] {
            while (udev_device* changed = udev_monitor_receive_device(monitor)) {
                const char* name = udev_device_get_sysname(changed);
                const char* action = udev_device_get_action(changed);
                const bool ours = name && QString::fromUtf8(name) == device;
                const bool change = action && qstrcmp(action, "change") == 0;
                udev_device_unref(changed);
                if (!change)
                    rescan();
                else if (ours)
                    check();
            }
        });
    }
};

Backlight::Backlight(QString sysfsRoot, QDBusConnection systemBus, QString sessionPath, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(systemBus)))
{
    d->q = this;
    d->root = std::move(sysfsRoot);
    d->sessionPath = std::move(sessionPath);
    connect(&d->watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        d->rescan();
        d->check();
    });
    // Devices coming and going show in the folder too (in a tree of files, where udev says nothing).
    d->watcher.addPath(d->root + "/class/backlight");
    connect(&d->watcher, &QFileSystemWatcher::directoryChanged, this, [this] { d->rescan(); });
    d->findDevice();
    static bool toldUnavailable = false;
    if (d->device.isEmpty() && !std::exchange(toldUnavailable, true))
        logLevel(QStringLiteral("no backlight; brightness disabled"));
    d->startUdev();
}

Backlight::~Backlight()
{
    d->notifier.reset();
    if (d->monitor)
        udev_monitor_unref(d->monitor);
    if (d->udevContext)
        udev_unref(d->udevContext);
}

bool Backlight::isAvailable() const
{
    return !d->device.isEmpty();
}

bool Backlight::isWritable() const
{
    return isAvailable() && !d->refused;
}

QString Backlight::device() const
{
    return d->device;
}

std::optional<double> Backlight::read() const
{
    return d->fraction(d->readRaw());
}

std::optional<double> Backlight::target() const
{
    if (const auto last = d->pending.last())
        return d->fraction(last);
    return read();
}

void Backlight::write(double value, int direction, std::function<void(std::optional<double>)> done)
{
    if (!isAvailable()) {
        if (done)
            done(std::nullopt);
        return;
    }
    const std::optional<qint64> last = d->pending.last();
    const qint64 raw = PendingSteps::stepFor(value, d->maximum, direction, last ? last : d->readRaw());
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"), d->sessionPath,
        QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("SetBrightness"));
    call << QStringLiteral("backlight") << d->device << quint32(raw);
    d->pending.add(raw);
    auto* watcher = new QDBusPendingCallWatcher(d->bus.asyncCall(call, kWriteTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, asked = raw, done = std::move(done)](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            d->pending.settled(asked);
            if (w->isError())
                logLevel(QStringLiteral("brightness write refused: ") + w->error().name() + " " + w->error().message());
            if (refuses(w->error()))
                d->refused = true;
            else if (!w->isError())
                d->refused = false;
            // Whatever logind said, the file tells what is in place now.
            const auto raw = d->readRaw();
            if (raw)
                d->lastRaw = raw;
            if (done)
                done(d->fraction(raw));
        });
}

} // namespace nimbra
