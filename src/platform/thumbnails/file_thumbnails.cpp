#include "platform/thumbnails/file_thumbnails.h"

#include "core/diagnostics.h"
#include "core/file_url.h"
#include "platform/icon_theme.h"
#include "platform/thumbnails/thumbnail_maker.h"
#include "platform/thumbnails/thumbnailer_service.h"
#include "platform/thumbnails/worker_census.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QThread>
#include <cmath>
#include <mutex>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace nimbra {

namespace {

using Outcome = thumbnail_maker::Outcome;

QString pathOf(const QUrl& url)
{
    return url.isLocalFile() ? localPath(url) : url.path();
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

int devicePixels(double side, double scale)
{
    const double pixels = side * scale;
    if (!std::isfinite(pixels))
        return 16;
    return std::clamp(int(std::ceil(pixels)), 16, ThumbnailCache::pixels(ThumbnailCache::Flavor::xxLarge));
}

// Workers yield the processor to the thread that paints: a lower-priority thread of the same
// process (Qt's thread priorities mean nothing to Linux's normal scheduler).
void yieldToPainting()
{
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
}

// A plain sheet with a folded corner, for a machine without any icon theme.
QPixmap sheet(int pixels, double scale)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const double w = pixels;
        QPainterPath page;
        page.moveTo(w * 0.2, w * 0.08);
        page.lineTo(w * 0.6, w * 0.08);
        page.lineTo(w * 0.8, w * 0.28);
        page.lineTo(w * 0.8, w * 0.92);
        page.lineTo(w * 0.2, w * 0.92);
        page.closeSubpath();
        p.setPen(QPen(QColor(120, 120, 120), std::max(1.0, w * 0.03)));
        p.setBrush(QColor(245, 245, 245));
        p.drawPath(page);
        p.drawLine(QPointF(w * 0.6, w * 0.08), QPointF(w * 0.6, w * 0.28));
        p.drawLine(QPointF(w * 0.6, w * 0.28), QPointF(w * 0.8, w * 0.28));
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

FileThumbnails* sharedInstance = nullptr;

} // namespace

// Where workers leave their answers: posted to the owner on its thread while the mailbox is
// open, dropped once it is closed. Posting happens under the lock, so once close() returned no
// worker posts to an owner that is going, or into an application that is.
class FileThumbnails::Mailbox {
public:
    explicit Mailbox(FileThumbnails* owner)
        : m_owner(owner)
    {
    }

    void post(std::function<void(FileThumbnails&)> answer)
    {
        const std::lock_guard lock(m_mutex);
        if (!m_owner)
            return;
        // Posted events die with their receiver, so the answer only runs on a living owner.
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, answer = std::move(answer)] { answer(*owner); }, Qt::QueuedConnection);
    }

    void close()
    {
        const std::lock_guard lock(m_mutex);
        m_owner = nullptr;
    }

private:
    std::mutex m_mutex;
    FileThumbnails* m_owner;
};

FileThumbnails::FileThumbnails(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_store(m_options.cacheRoot.isEmpty() ? ThumbnailCache::defaultRoot() : m_options.cacheRoot)
    , m_mailbox(std::make_shared<Mailbox>(this))
    , m_census(std::make_shared<WorkerCensus>())
    , m_pool(new QThreadPool)
{
    const int threads = m_options.threads > 0 ? m_options.threads : std::clamp(QThread::idealThreadCount() / 2, 1, 4);
    m_pool->setMaxThreadCount(threads);
    // Workers leave as soon as the queue is empty: an idle shelf keeps no thread that wakes.
    m_pool->setExpiryTimeout(0);
    m_pool->setObjectName(QStringLiteral("thumbnails"));
}

FileThumbnails::FileThumbnails()
    : FileThumbnails(Options {})
{
}

FileThumbnails::~FileThumbnails()
{
    // A worker stuck in the file system (a network folder that stopped answering) is left
    // behind with its pool rather than waited for; it holds nothing of this object.
    if (closeDown())
        delete m_pool;
}

void FileThumbnails::callOff()
{
    for (const Ticket& ticket : std::as_const(m_inFlight))
        ticket.cancelled->store(true);
    m_inFlight.clear();
    // What has not started never will; what runs stops at its next read.
    m_pool->clear();
}

bool FileThumbnails::stopWork(int waitMs)
{
    callOff();
    if (!m_census->settle(QDeadlineTimer(waitMs)))
        return false;
    // Every task has returned: the pool's threads end on their own.
    return m_pool->waitForDone(std::max(waitMs, 1000));
}

bool FileThumbnails::closeDown()
{
    m_mailbox->close();
    callOff();
    if (m_census->settleOrLeaveBehind(QDeadlineTimer(quitWaitMs)))
        return m_pool->waitForDone(quitWaitMs);
    Diagnostics::log(Diagnostics::Category::shelf,
        [&] { return QStringLiteral("%1 thumbnail workers left behind").arg(m_census->running()); });
    return false;
}

int FileThumbnails::workersAtWork() const
{
    return m_census->atWork();
}

FileThumbnails& FileThumbnails::shared()
{
    // Lives for the whole run. Quitting calls its work off without waiting; when the
    // application object goes, no answer is posted any more and the called-off workers are
    // waited for; one stuck in the file system is left behind, stopping for good when its wait
    // ends. So none is inside Qt while the process tears Qt down.
    static FileThumbnails* instance = [] {
        sharedInstance = new FileThumbnails;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, sharedInstance, [] { sharedInstance->stopWork(); });
            qAddPostRoutine([] { sharedInstance->closeDown(); });
        }
        return sharedInstance;
    }();
    return *instance;
}

QString FileThumbnails::key(const QUrl& url, double side)
{
    // Callers pass 40 to 96; anything not finite counts as 0.
    const double truncated = std::isfinite(side) ? std::trunc(std::clamp(side, -1e15, 1e15)) : 0;
    return pathOf(url) + u'|' + QString::number(qint64(truncated));
}

QPixmap FileThumbnails::image(const QUrl& url, double side, double scale)
{
    const QString k = key(url, side);
    if (const auto found = m_cache.constFind(k); found != m_cache.cend())
        return *found;
    if (!m_inFlight.contains(k) && !m_failed.contains(k))
        request(pathOf(url), k, devicePixels(side, scale), std::nullopt);
    return icon(url, side, scale);
}

void FileThumbnails::prewarm(const QList<QUrl>& urls, double side, double scale)
{
    for (const QUrl& url : urls) {
        const QString k = key(url, side);
        if (m_cache.contains(k) || m_inFlight.contains(k))
            continue;
        // A file dropped again may have changed since it failed; the worker tells.
        request(pathOf(url), k, devicePixels(side, scale), m_failed.value(k));
    }
}

void FileThumbnails::forget(const QUrl& url)
{
    const QString path = pathOf(url);
    const QString prefix = path + u'|';
    m_cache.removeIf([&](const auto& entry) { return entry.key().startsWith(prefix); });
    m_failed.removeIf([&](const auto& entry) { return entry.key().startsWith(prefix); });
    m_inFlight.removeIf([&](const auto& entry) {
        if (!entry.key().startsWith(prefix))
            return false;
        entry.value().cancelled->store(true);
        return true;
    });
    m_types.remove(path);
}

void FileThumbnails::request(
    const QString& path, const QString& k, int pixels, const std::optional<FileStamp>& knownFailure)
{
    const Ticket ticket { ++m_lastTicket, std::make_shared<std::atomic_bool>(false) };
    m_inFlight.insert(k, ticket);
    m_failed.remove(k);
    ++m_requestsStarted;
    startWork(ticket, [store = m_store, path, k, pixels, knownFailure, ticket](Mailbox& mailbox) {
        Outcome outcome = thumbnail_maker::make(path, pixels, store, knownFailure,
            ReadLimit { QDeadlineTimer(thumbnail_maker::readLimitMs), ticket.cancelled.get() });
        mailbox.post([k, id = ticket.id, path, pixels, outcome = std::move(outcome)](FileThumbnails& owner) mutable {
            owner.finish(k, id, path, pixels, std::move(outcome));
        });
    });
}

void FileThumbnails::startWork(const Ticket& ticket, std::function<void(Mailbox&)> work)
{
    // The worker holds the mailbox and its own copies of everything, never this object.
    m_pool->start([census = m_census, mailbox = m_mailbox, cancelled = ticket.cancelled, work = std::move(work)] {
        census->run([&] {
            if (cancelled->load())
                return;
            yieldToPainting();
            work(*mailbox);
        });
    });
}

void FileThumbnails::finish(const QString& k, quint64 ticket, const QString& path, int pixels, Outcome outcome)
{
    const auto current = m_inFlight.constFind(k);
    // Forgotten, or asked for again since: this answer belongs to nobody.
    if (current == m_inFlight.cend() || current->id != ticket)
        return;
    learnType(path, outcome.mimeTypes.value(0));

    switch (outcome.kind) {
    case Outcome::Kind::ready: {
        m_inFlight.remove(k);
        QPixmap pixmap = QPixmap::fromImage(std::move(outcome.image));
        pixmap.setDevicePixelRatio(1);
        m_cache.insert(k, pixmap);
        ++m_revision;
        Diagnostics::log(Diagnostics::Category::shelf, [&] { return "preview ready for " + nameOf(path); });
        scheduleUpdate();
        return;
    }
    case Outcome::Kind::failed:
        m_inFlight.remove(k);
        fail(k, path, outcome.stamp);
        return;
    case Outcome::Kind::needsService:
        break;
    }

    if (!m_options.useService) {
        m_inFlight.remove(k);
        fail(k, path, outcome.stamp);
        return;
    }
    QPointer<FileThumbnails> self(this);
    service().request(outcome.uri, outcome.mimeTypes, ThumbnailCache::flavorFor(pixels),
        [self, k, ticket, path, pixels, stamp = outcome.stamp](bool ok) {
            if (!self)
                return;
            const auto current = self->m_inFlight.constFind(k);
            if (current == self->m_inFlight.cend() || current->id != ticket)
                return;
            if (!ok) {
                self->m_inFlight.remove(k);
                self->fail(k, path, stamp);
                return;
            }
            const Ticket held = *current;
            self->startWork(held, [store = self->m_store, k, held, path, pixels](Mailbox& mailbox) {
                Outcome outcome = thumbnail_maker::readServiceResult(path, pixels, store,
                    ReadLimit { QDeadlineTimer(thumbnail_maker::readLimitMs), held.cancelled.get() });
                mailbox.post([k, id = held.id, path, pixels, outcome = std::move(outcome)](FileThumbnails& owner) mutable {
                    owner.finish(k, id, path, pixels, std::move(outcome));
                });
            });
        });
}

void FileThumbnails::fail(const QString& k, const QString& path, const std::optional<FileStamp>& stamp)
{
    m_failed.insert(k, stamp);
    Diagnostics::log(Diagnostics::Category::shelf, [&] { return "no preview for " + nameOf(path); });
}

void FileThumbnails::learnType(const QString& path, const QString& mimeType)
{
    if (mimeType.isEmpty())
        return;
    const QString before = iconName(typeOf(path));
    m_types.insert(path, mimeType);
    // A file whose contents tell another type than its name gets that type's icon.
    if (iconName(mimeType) != before)
        scheduleUpdate();
}

void FileThumbnails::scheduleUpdate()
{
    if (m_updateQueued)
        return;
    m_updateQueued = true;
    // Everything that arrived in one turn of the event loop makes one update.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_updateQueued = false;
            if (onUpdate)
                onUpdate();
        },
        Qt::QueuedConnection);
}

QString FileThumbnails::typeOf(const QString& path) const
{
    if (const auto learned = m_types.constFind(path); learned != m_types.cend())
        return *learned;
    // By the name alone: no file is read on the main thread.
    static const QMimeDatabase types;
    const QList<QMimeType> guesses = types.mimeTypesForFileName(nameOf(path));
    return guesses.isEmpty() ? QStringLiteral("application/octet-stream") : guesses.constFirst().name();
}

QString FileThumbnails::iconName(const QString& mimeType)
{
    ensureIconTheme();
    if (mimeType == QLatin1String("inode/directory"))
        return QStringLiteral("folder");
    static const QMimeDatabase types;
    const QMimeType type = types.mimeTypeForName(mimeType);
    QStringList names;
    if (type.isValid())
        names << type.iconName() << type.genericIconName();
    if (type.isValid() && type.inherits(QStringLiteral("text/plain")))
        names << QStringLiteral("text-x-generic");
    names << QStringLiteral("application-x-generic") << QStringLiteral("text-x-generic");
    for (const QString& name : std::as_const(names)) {
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            return name;
    }
    return {};
}

QPixmap FileThumbnails::icon(const QUrl& url, double side, double scale)
{
    const QString name = iconName(typeOf(pathOf(url)));
    const int pixels = devicePixels(side, scale);
    const QString cacheKey = name + u'|' + QString::number(pixels);
    if (const auto found = m_icons.constFind(cacheKey); found != m_icons.cend())
        return *found;
    const double ratio = double(pixels) / std::max(1.0, std::round(side));
    QPixmap pixmap;
    if (!name.isEmpty())
        pixmap = QIcon::fromTheme(name).pixmap(QSize(int(std::round(side)), int(std::round(side))), ratio);
    if (pixmap.isNull())
        pixmap = sheet(pixels, ratio);
    m_icons.insert(cacheKey, pixmap);
    return pixmap;
}

ThumbnailerService& FileThumbnails::service()
{
    if (!m_service)
        m_service = std::make_unique<ThumbnailerService>(m_options.bus.value_or(QDBusConnection::sessionBus()), this);
    return *m_service;
}

} // namespace nimbra
