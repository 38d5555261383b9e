#include "platform/pulse/pulse_volume.h"

#include "core/diagnostics.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>
#include <pulse/glib-mainloop.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace nimbra {

namespace {

void logLevel(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

QString sinkProperty(pa_proplist* list, const char* key)
{
    const char* value = list ? pa_proplist_gets(list, key) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

// libpulse's GLib adapter only works when Qt's dispatcher is the GLib one (the default on
// Linux unless QT_NO_GLIB is set).
bool qtRunsOnGlib()
{
    auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    return dispatcher && QByteArray(dispatcher->metaObject()->className()).contains("Glib");
}

// libpulse answers a request it cannot send with no operation at all.
void forget(pa_operation* operation)
{
    if (operation)
        pa_operation_unref(operation);
}

// A socket that has just appeared may not be listening yet: a few quick tries follow it.
constexpr int kSocketRetryMs = 250;
constexpr int kSocketRetries = 4;

// Which file sits at `path` (0 when none): a server that comes back makes a new one.
ino_t fileIdentity(const QString& path)
{
    struct stat info { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// The file of the server's native socket, when it is a local one: the `unix:` entry of the
// server string, else PULSE_SERVER's, else the session's default in the runtime folder.
QString socketPath(const QString& server)
{
    QString address = server.isEmpty() ? qEnvironmentVariable("PULSE_SERVER") : server;
    if (address.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/pulse/native");
    }
    for (const QString& entry : address.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (entry.startsWith(QLatin1String("unix:")))
            return entry.mid(5);
        if (entry.startsWith(QLatin1Char('/')))
            return entry;
    }
    return {};
}

} // namespace

AudioOutput audioOutput(const SinkTraits& traits)
{
    using Kind = AudioOutput::Kind;
    const QString name = traits.description.isEmpty() ? QStringLiteral("Output") : traits.description;
    const QString bus = traits.bus.toLower();
    const QString form = traits.formFactor.toLower();
    const QString port = traits.activePort.toLower();
    Kind kind = Kind::external;
    if (bus == u"bluetooth" || traits.api == u"bluez")
        kind = name.contains(u"airpod", Qt::CaseInsensitive) ? Kind::airPods : Kind::bluetooth;
    else if (traits.api == u"raop" || traits.sinkName.startsWith(u"raop"))
        kind = Kind::airPlay;
    else if (port.contains(u"hdmi") || port.contains(u"displayport") || form == u"tv")
        kind = Kind::display;
    else if (bus == u"pci" || bus == u"platform" || form == u"internal") {
        // Headphones plugged into the machine itself; a headset of its own (USB) stays external.
        const bool headphones
            = form == u"headphone" || form == u"headset" || form == u"hands-free" || port.contains(u"headphone");
        kind = headphones ? Kind::headphones : Kind::builtIn;
    }
    return AudioOutput(name, kind);
}

struct PulseVolume::Private {
    PulseVolume* q = nullptr;
    QString server;
    pa_glib_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool ready = false;
    QTimer retry;
    int retryMs = PulseVolume::retryIntervalMs;
    // Watches the folder of a local server's socket, so that a server coming back is
    // followed at once rather than at the next retry.
    QString socket;
    std::unique_ptr<QFileSystemWatcher> watcher;
    int socketRetries = 0;
    // The socket file a failed attempt found, so that other changes in its folder (a runtime
    // folder is busy) do not count as the server coming back.
    ino_t deadSocket = 0;
    // The socket file the quick tries were last spent on.
    ino_t triedSocket = 0;

    // The attached default sink.
    std::optional<uint32_t> sinkIndex;
    QString sinkName;
    pa_cvolume volume {};
    bool muted = false;
    AudioOutput output;
    // The reading last handed out or written, so only real changes are announced.
    std::optional<SystemLevel> lastKnown;
    // Our writes the server has not yet confirmed. Until it has, the sink's state it reports
    // may be an echo of an earlier write of ours, so it is not taken.
    int pendingWrites = 0;

    void wrote(pa_operation* operation)
    {
        if (!operation)
            return; // refused on our side (connection going down): no answer will come
        ++pendingWrites;
        pa_operation_unref(operation);
    }

    static void writeConfirmed(pa_context*, int, void* userdata)
    {
        auto* self = static_cast<Private*>(userdata);
        if (--self->pendingWrites == 0 && self->sinkIndex && self->ready) {
            // What the server holds now includes every write of ours, and anything else since.
            self->pendingSink = self->sinkName;
            forget(pa_context_get_sink_info_by_index(self->context, *self->sinkIndex, &Private::sinkInfo, self));
        }
    }

    SystemLevel read() const
    {
        if (!sinkIndex)
            return SystemLevel(SystemLevel::Kind::volume, 0, false, false, std::nullopt);
        const double value = double(pa_cvolume_max(&volume)) / PA_VOLUME_NORM;
        return SystemLevel(SystemLevel::Kind::volume, value, muted, true, output);
    }

    void connect()
    {
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Nimbra");
        pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "nimbra");
        context = pa_context_new_with_proplist(pa_glib_mainloop_get_api(loop), "Nimbra", props);
        pa_proplist_free(props);
        if (!context)
            return;
        pa_context_set_state_callback(context, &Private::stateChanged, this);
        pa_context_set_subscribe_callback(context, &Private::eventArrived, this);
        const QByteArray address = server.toUtf8();
        if (pa_context_connect(context, server.isEmpty() ? nullptr : address.constData(), PA_CONTEXT_NOFLAGS, nullptr)
            < 0)
            failed();
    }

    void dropContext()
    {
        if (!context)
            return;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
        ready = false;
        pendingWrites = 0;
    }

    // The server is gone or never came: forget the sink and try again when its socket shows
    // up, or at the latest after the retry interval.
    void failed()
    {
        logLevel(QStringLiteral("sound server unavailable: ")
            + QString::fromUtf8(pa_strerror(context ? pa_context_errno(context) : PA_ERR_CONNECTIONREFUSED)));
        dropContext();
        detach();
        const bool watching = watchSocket();
        deadSocket = socket.isEmpty() ? 0 : fileIdentity(socket);
        // A socket not tried before may be a server that came back before the old one was seen
        // to go, or one still starting: a few quick tries follow it, once.
        if (deadSocket != 0 && deadSocket != triedSocket) {
            triedSocket = deadSocket;
            socketRetries = kSocketRetries;
        }
        if (deadSocket != 0 && socketRetries > 0) {
            --socketRetries;
            retry.start(kSocketRetryMs);
        } else if (!watching) {
            retry.start(retryMs);
        }
    }

    // Watches the socket's folder; false when there is nothing to watch or it cannot be.
    bool watchSocket()
    {
        if (socket.isEmpty())
            return false;
        if (!watcher) {
            watcher = std::make_unique<QFileSystemWatcher>();
            QObject::connect(
                watcher.get(), &QFileSystemWatcher::directoryChanged, q, [this] { socketFolderChanged(); });
        }
        // The socket's folder, or the nearest one above it that exists (the server may make it).
        QString folder = QFileInfo(socket).absolutePath();
        while (!QFileInfo(folder).isDir() && folder != QDir::rootPath())
            folder = QFileInfo(folder).absolutePath();
        const QStringList watched = watcher->directories();
        if (watched == QStringList { folder })
            return true;
        if (!watched.isEmpty())
            watcher->removePaths(watched);
        if (watcher->addPath(folder))
            return true;
        logLevel(
            QStringLiteral("cannot watch %1; trying the sound server every %2 s").arg(folder).arg(retryMs / 1000.0));
        return false;
    }

    void socketFolderChanged()
    {
        if (context)
            return; // connected or connecting: the watch only serves a server that is gone
        if (!watchSocket() && !retry.isActive()) {
            // The folder went and the one now nearest cannot be watched: the clock takes over.
            retry.start(retryMs);
            return;
        }
        const ino_t now = fileIdentity(socket);
        if (now == 0 || now == deadSocket)
            return;
        logLevel(QStringLiteral("sound server socket appeared; connecting"));
        retry.stop();
        socketRetries = kSocketRetries;
        triedSocket = now;
        connect();
    }

    static void stateChanged(pa_context* context, void* userdata)
    {
        auto* self = static_cast<Private*>(userdata);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            self->ready = true;
            self->socketRetries = 0;
            // Nothing to watch while connected.
            self->watcher.reset();
            forget(pa_context_subscribe(context,
                pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER), nullptr, nullptr));
            self->askForDefaultSink();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            // Leave libpulse's callback before the context goes away.
            QTimer::singleShot(0, self->q, [self] {
                if (self->context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(self->context)))
                    self->failed();
            });
            break;
        default:
            break;
        }
    }

    void askForDefaultSink()
    {
        if (ready)
            forget(pa_context_get_server_info(context, &Private::serverInfo, this));
    }

    static void serverInfo(pa_context* context, const pa_server_info* info, void* userdata)
    {
        auto* self = static_cast<Private*>(userdata);
        const QString name = info && info->default_sink_name ? QString::fromUtf8(info->default_sink_name) : QString();
        if (name.isEmpty()) {
            self->detach();
            return;
        }
        // Always re-read: the default may have been replaced by a sink of the same name.
        const QByteArray raw = name.toUtf8();
        self->pendingSink = name;
        forget(pa_context_get_sink_info_by_name(context, raw.constData(), &Private::sinkInfo, self));
    }
    QString pendingSink;

    static void sinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata)
    {
        auto* self = static_cast<Private*>(userdata);
        if (eol < 0) {
            // The sink vanished between the two questions; the next server event tells more.
            if (self->pendingSink == self->sinkName || !self->sinkIndex)
                self->detach();
            return;
        }
        if (eol > 0 || !info)
            return;
        const QString name = QString::fromUtf8(info->name);
        if (name != self->pendingSink && name != self->sinkName)
            return;
        self->attach(*info);
    }

    void attach(const pa_sink_info& info)
    {
        const bool wasAttached = sinkIndex.has_value();
        const bool newSink = !sinkIndex || *sinkIndex != info.index;
        if (!newSink && pendingWrites > 0)
            return;
        sinkIndex = info.index;
        sinkName = QString::fromUtf8(info.name);
        volume = info.volume;
        muted = info.mute != 0;
        SinkTraits traits;
        traits.description = sinkProperty(info.proplist, PA_PROP_DEVICE_DESCRIPTION);
        if (traits.description.isEmpty() && info.description)
            traits.description = QString::fromUtf8(info.description);
        traits.bus = sinkProperty(info.proplist, PA_PROP_DEVICE_BUS);
        traits.formFactor = sinkProperty(info.proplist, PA_PROP_DEVICE_FORM_FACTOR);
        traits.api = sinkProperty(info.proplist, PA_PROP_DEVICE_API);
        traits.activePort
            = info.active_port && info.active_port->name ? QString::fromUtf8(info.active_port->name) : QString();
        traits.sinkName = sinkName;
        output = audioOutput(traits);
        if (newSink)
            logLevel(QStringLiteral("observing volume on device %1 (no permission needed)").arg(info.index));
        if (!wasAttached && q->onSinkChange)
            q->onSinkChange(true);
        announceIfChanged();
    }

    void detach()
    {
        if (!sinkIndex)
            return;
        sinkIndex.reset();
        sinkName.clear();
        logLevel(QStringLiteral("no default sink"));
        if (q->onSinkChange)
            q->onSinkChange(false);
        announceIfChanged();
    }

    void announceIfChanged()
    {
        // The first reading of a sink is where we start from, not news; a missing sink is
        // nothing to show.
        const SystemLevel now = read();
        if (!now.isAvailable) {
            lastKnown.reset();
            return;
        }
        const bool first = !lastKnown;
        if (!first && *lastKnown == now)
            return;
        lastKnown = now;
        if (!first && q->onChange)
            q->onChange(now);
    }

    static void eventArrived(pa_context*, pa_subscription_event_type_t type, uint32_t index, void* userdata)
    {
        auto* self = static_cast<Private*>(userdata);
        const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const int kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            self->askForDefaultSink();
        } else if (facility == PA_SUBSCRIPTION_EVENT_SINK) {
            if (kind == PA_SUBSCRIPTION_EVENT_CHANGE && self->sinkIndex && *self->sinkIndex == index) {
                self->pendingSink = self->sinkName;
                forget(pa_context_get_sink_info_by_index(self->context, index, &Private::sinkInfo, self));
            } else if (kind == PA_SUBSCRIPTION_EVENT_REMOVE && self->sinkIndex && *self->sinkIndex == index) {
                self->detach();
                self->askForDefaultSink();
            } else if (kind == PA_SUBSCRIPTION_EVENT_NEW) {
                self->askForDefaultSink();
            }
        }
    }
};

PulseVolume::PulseVolume(QString server, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->q = this;
    d->server = std::move(server);
    d->socket = socketPath(d->server);
    d->retry.setSingleShot(true);
    QObject::connect(&d->retry, &QTimer::timeout, this, [this] {
        if (!d->context)
            d->connect();
    });
    if (!qtRunsOnGlib()) {
        logLevel(QStringLiteral("volume disabled: the Qt event loop is not GLib's (is QT_NO_GLIB set?)"));
        return;
    }
    d->loop = pa_glib_mainloop_new(nullptr);
    d->connect();
}

PulseVolume::~PulseVolume()
{
    d->dropContext();
    if (d->loop)
        pa_glib_mainloop_free(d->loop);
}

void PulseVolume::setRetryInterval(int ms)
{
    d->retryMs = ms;
}

PulseVolume::Retry PulseVolume::retry() const
{
    if (d->retry.isActive())
        return Retry::onTimer;
    return !d->context && d->watcher && !d->watcher->directories().isEmpty() ? Retry::onSocket : Retry::none;
}

bool PulseVolume::isConnected() const
{
    return d->ready;
}

bool PulseVolume::hasSink() const
{
    return d->sinkIndex.has_value();
}

SystemLevel PulseVolume::read() const
{
    return d->read();
}

void PulseVolume::setVolume(double value)
{
    if (!d->ready || !d->sinkIndex)
        return;
    const auto target
        = pa_volume_t(std::lround(std::clamp(std::isnan(value) ? 0.0 : value, 0.0, 1.0) * PA_VOLUME_NORM));
    pa_cvolume volume = d->volume;
    if (!pa_cvolume_valid(&volume) || pa_cvolume_max(&volume) == PA_VOLUME_MUTED)
        pa_cvolume_set(&volume, std::max<uint8_t>(d->volume.channels, 1), target);
    else
        pa_cvolume_scale(&volume, target);
    d->volume = volume;
    d->lastKnown = d->read();
    d->wrote(
        pa_context_set_sink_volume_by_index(d->context, *d->sinkIndex, &volume, &Private::writeConfirmed, d.get()));
}

void PulseVolume::setMuted(bool muted)
{
    if (!d->ready || !d->sinkIndex)
        return;
    d->muted = muted;
    d->lastKnown = d->read();
    d->wrote(
        pa_context_set_sink_mute_by_index(d->context, *d->sinkIndex, muted ? 1 : 0, &Private::writeConfirmed, d.get()));
}

} // namespace nimbra
