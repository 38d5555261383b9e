#include "platform/thumbnails/thumbnailer_service.h"

#include "core/diagnostics.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QPointer>

namespace nimbra {

namespace {
const QString kPath = QStringLiteral("/org/freedesktop/thumbnails/Thumbnailer1");
const QString kInterface = QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1");
constexpr int kCallTimeoutMs = 10'000;
constexpr qsizetype kEarlyKept = 64;

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(ThumbnailerService::serviceName, kPath, kInterface, method);
}

// Calls `method` without blocking and hands its reply (or error) to `then`.
void callAsync(
    QDBusConnection& bus, const QDBusMessage& message, QObject* context, std::function<void(const QDBusMessage&)> then)
{
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
        [then = std::move(then)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            then(finished->reply());
        });
}
} // namespace

const QString ThumbnailerService::serviceName = QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1");

ThumbnailerService::ThumbnailerService(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, &ThumbnailerService::expire);
    if (!m_bus.isConnected())
        return;
    m_bus.connect(serviceName, kPath, kInterface, QStringLiteral("Ready"), this, SLOT(ready(uint, QStringList)));
    m_bus.connect(
        serviceName, kPath, kInterface, QStringLiteral("Error"), this, SLOT(error(uint, QStringList, int, QString)));
    m_bus.connect(serviceName, kPath, kInterface, QStringLiteral("Finished"), this, SLOT(finished(uint)));
    auto* watcher = new QDBusServiceWatcher(serviceName, m_bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        // Whatever it had on its hands is lost; the next request asks afresh.
        failAll();
        if (m_state != State::probing)
            m_state = State::unknown;
    });
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (m_state == State::unavailable)
            m_state = State::unknown;
    });
}

ThumbnailerService::~ThumbnailerService()
{
    // Nobody hears the answers any more.
    m_waiting.clear();
    m_jobs.clear();
}

std::optional<QString> ThumbnailerService::supportedType(const QStringList& mimeTypes, const QSet<QString>& supported)
{
    for (const QString& type : mimeTypes) {
        if (supported.contains(type))
            return type;
    }
    return std::nullopt;
}

std::optional<QString> ThumbnailerService::flavorName(ThumbnailCache::Flavor wanted, const QStringList& offered)
{
    std::optional<QString> largest;
    for (ThumbnailCache::Flavor flavor : ThumbnailCache::allFlavors) {
        const QString name = ThumbnailCache::folderName(flavor);
        if (!offered.contains(name))
            continue;
        if (flavor >= wanted)
            return name;
        largest = name;
    }
    return largest;
}

void ThumbnailerService::answerLater(QObject* context, std::function<void(bool)> done, bool ok)
{
    if (!done)
        return;
    QMetaObject::invokeMethod(
        context, [done = std::move(done), ok] { done(ok); }, Qt::QueuedConnection);
}

void ThumbnailerService::request(
    const QString& uri, const QStringList& mimeTypes, ThumbnailCache::Flavor flavor, std::function<void(bool)> done)
{
    switch (m_state) {
    case State::unavailable:
        answerLater(this, std::move(done), false);
        return;
    case State::available:
        send({ uri, mimeTypes, flavor, std::move(done) });
        return;
    case State::unknown:
        m_waiting.append({ uri, mimeTypes, flavor, std::move(done) });
        probe();
        return;
    case State::probing:
        m_waiting.append({ uri, mimeTypes, flavor, std::move(done) });
        return;
    }
}

void ThumbnailerService::probe()
{
    if (!m_bus.isConnected()) {
        probed(false);
        return;
    }
    m_state = State::probing;
    // What it draws, then in which sizes; a service that is only activatable is started by the
    // first call.
    QPointer<ThumbnailerService> self(this);
    callAsync(m_bus, call(QStringLiteral("GetSupported")), this, [self](const QDBusMessage& reply) {
        if (!self)
            return;
        const QList<QVariant> arguments = reply.arguments();
        if (reply.type() != QDBusMessage::ReplyMessage || arguments.size() < 2) {
            self->probed(false);
            return;
        }
        const QStringList schemes = arguments.at(0).toStringList();
        const QStringList types = arguments.at(1).toStringList();
        self->m_types.clear();
        for (qsizetype i = 0; i < std::min(schemes.size(), types.size()); ++i) {
            if (schemes.at(i) == QLatin1String("file"))
                self->m_types.insert(types.at(i));
        }
        callAsync(self->m_bus, call(QStringLiteral("GetFlavors")), self, [self](const QDBusMessage& flavors) {
            if (!self)
                return;
            const bool answered = flavors.type() == QDBusMessage::ReplyMessage && !flavors.arguments().isEmpty();
            // Services older than the flavor list make the two classic sizes.
            self->m_flavors = answered ? flavors.arguments().constFirst().toStringList()
                                       : QStringList { QStringLiteral("normal"), QStringLiteral("large") };
            self->probed(true);
        });
    });
}

void ThumbnailerService::probed(bool available)
{
    m_state = available ? State::available : State::unavailable;
    Diagnostics::log(Diagnostics::Category::shelf, [&] {
        return available ? QStringLiteral("thumbnailer service draws %1 types").arg(m_types.size())
                         : QStringLiteral("no thumbnailer service");
    });
    const QList<Pending> waiting = std::exchange(m_waiting, {});
    for (const Pending& pending : waiting) {
        if (available)
            send(pending);
        else
            answerLater(this, pending.done, false);
    }
}

void ThumbnailerService::send(Pending pending)
{
    const auto type = supportedType(pending.mimeTypes, m_types);
    const auto flavor = flavorName(pending.flavor, m_flavors);
    if (!type || !flavor) {
        answerLater(this, std::move(pending.done), false);
        return;
    }
    QDBusMessage queue = call(QStringLiteral("Queue"));
    queue << QStringList { pending.uri } << QStringList { *type } << *flavor << QStringLiteral("default") << uint(0);
    QPointer<ThumbnailerService> self(this);
    callAsync(m_bus, queue, this,
        [self, uri = pending.uri, done = std::move(pending.done)](const QDBusMessage& reply) mutable {
            if (!self)
                return;
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                answerLater(self, std::move(done), false);
                return;
            }
            const uint handle = reply.arguments().constFirst().toUInt();
            self->m_jobs.insert(handle, Job { uri, false, std::move(done), QDeadlineTimer(requestTimeoutMs) });
            if (const auto early = self->m_early.constFind(handle); early != self->m_early.cend()) {
                self->m_jobs[handle].ready = early->ready;
                const bool finished = early->finished;
                self->m_early.remove(handle);
                if (finished) {
                    self->settle(handle);
                    return;
                }
            }
            if (!self->m_expiry.isActive())
                self->m_expiry.start(requestTimeoutMs);
        });
}

void ThumbnailerService::ready(uint handle, const QStringList& uris)
{
    if (auto job = m_jobs.find(handle); job != m_jobs.end()) {
        if (uris.contains(job->uri))
            job->ready = true;
        return;
    }
    if (!m_early.contains(handle)) {
        m_earlyOrder.append(handle);
        if (m_earlyOrder.size() > kEarlyKept)
            m_early.remove(m_earlyOrder.takeFirst());
    }
    m_early[handle].ready = true;
}

void ThumbnailerService::error(uint handle, const QStringList& uris, int code, const QString& message)
{
    if (!m_jobs.contains(handle))
        return;
    Diagnostics::log(Diagnostics::Category::shelf,
        [&] { return QStringLiteral("thumbnailer error %1 for %2: %3").arg(code).arg(uris.join(u' '), message); });
}

void ThumbnailerService::finished(uint handle)
{
    if (m_jobs.contains(handle)) {
        settle(handle);
        return;
    }
    if (!m_early.contains(handle)) {
        m_earlyOrder.append(handle);
        if (m_earlyOrder.size() > kEarlyKept)
            m_early.remove(m_earlyOrder.takeFirst());
    }
    m_early[handle].finished = true;
}

void ThumbnailerService::settle(uint handle)
{
    Job job = m_jobs.take(handle);
    if (m_jobs.isEmpty())
        m_expiry.stop();
    if (job.done)
        job.done(job.ready);
}

void ThumbnailerService::failAll()
{
    const QHash<uint, Job> jobs = std::exchange(m_jobs, {});
    m_expiry.stop();
    for (const Job& job : jobs)
        answerLater(this, job.done, false);
}

void ThumbnailerService::expire()
{
    QList<uint> late;
    for (auto it = m_jobs.cbegin(); it != m_jobs.cend(); ++it) {
        if (it->deadline.hasExpired())
            late << it.key();
    }
    for (uint handle : late) {
        Job job = m_jobs.take(handle);
        Diagnostics::log(Diagnostics::Category::shelf, [&] { return "thumbnailer gave no answer for " + job.uri; });
        if (job.done)
            job.done(false);
    }
    if (!m_jobs.isEmpty()) {
        qint64 next = requestTimeoutMs;
        for (const Job& job : std::as_const(m_jobs))
            next = std::min(next, job.deadline.remainingTime());
        m_expiry.start(int(std::max<qint64>(next, 0)));
    }
}

} // namespace nimbra
