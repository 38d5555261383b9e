#include "platform/mpris/artwork_loader.h"

#include "core/diagnostics.h"
#include "core/regular_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <unistd.h>

namespace nimbra {

namespace {

// Where workers post their results: an object of the main thread that lives as long as the
// process, so that a worker finishing at any moment, even during quit, has somewhere to post.
QObject& mailbox()
{
    static QObject* box = new QObject; // never deleted, on purpose
    return *box;
}

// Reads handed to the readers that have not begun (any thread).
std::atomic<int> queuedReads { 0 };

// Closes a descriptor when the read ends, however it ends.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

struct ArtworkLoader::Pending {
    std::function<void(const QImage&)> then;
    // Read by workers: a dropped or timed-out load stops reading at its next chunk.
    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
    QTimer* timer = nullptr;
    QPointer<QNetworkReply> reply;
};

ArtworkLoader::ArtworkLoader(QObject* parent)
    : QObject(parent)
{
}

ArtworkLoader::~ArtworkLoader()
{
    dropAll();
}

QThreadPool& ArtworkLoader::readers()
{
    // Never destroyed: a pool's destructor waits for its workers, and one stuck on a dead
    // mount must not hold up quitting.
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(maximumReaders);
        made->setObjectName(QStringLiteral("artwork readers"));
        return made;
    }();
    return *pool;
}

int ArtworkLoader::waitingReads()
{
    return queuedReads.load();
}

QImage ArtworkLoader::decode(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > maximumBytes)
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // Decoding straight to the shown size keeps a huge cover from being unpacked in full.
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > maximumSide || size.height() > maximumSide))
        reader.setScaledSize(size.scaled(maximumSide, maximumSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > maximumSide || image.height() > maximumSide)
        image = image.scaled(maximumSide, maximumSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage ArtworkLoader::readFile(const QString& path, QDeadlineTimer deadline, const std::function<bool()>& cancelled)
{
    // Opening without blocking: a FIFO without a writer would otherwise wait for one for ever.
    const RegularFileOpening opening = openRegularFile(path);
    const FileDescriptor file { opening.fd };
    if (file.fd < 0 || opening.size > maximumBytes)
        return {};
    // One byte past the limit tells a file that grew too large, whatever its reported size.
    QByteArray bytes;
    constexpr qint64 chunk = 256 * 1024;
    while (bytes.size() <= maximumBytes) {
        if (deadline.hasExpired() || (cancelled && cancelled()))
            return {};
        const qint64 at = bytes.size();
        bytes.resize(at + chunk);
        const ssize_t got = ::read(file.fd, bytes.data() + at, chunk);
        if (got < 0 && errno == EINTR) {
            bytes.resize(at);
            continue;
        }
        if (got < 0)
            return {};
        bytes.resize(at + got);
        if (got == 0)
            break;
    }
    if (deadline.hasExpired() || (cancelled && cancelled()))
        return {};
    return decode(bytes);
}

std::uint64_t ArtworkLoader::begin(std::function<void(const QImage&)> then, int timeoutMs)
{
    const std::uint64_t id = ++m_lastID;
    auto pending = std::make_shared<Pending>();
    pending->then = std::move(then);
    m_pending.emplace(id, std::move(pending));
    // The caller's wait ends here, whatever the worker is still doing.
    if (timeoutMs > 0)
        armTimeout(id, timeoutMs);
    return id;
}

void ArtworkLoader::armTimeout(std::uint64_t id, int timeoutMs)
{
    QTimer*& timer = m_pending.at(id)->timer;
    timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, id] { finish(id, QImage()); });
    timer->start(timeoutMs);
}

void ArtworkLoader::release(Pending& pending, bool abortReply)
{
    pending.cancelled->store(true);
    if (pending.timer)
        pending.timer->deleteLater();
    if (pending.reply) {
        if (abortReply) {
            pending.reply->disconnect(this);
            pending.reply->abort();
        }
        pending.reply->deleteLater();
    }
}

void ArtworkLoader::finish(std::uint64_t id, const QImage& image)
{
    const auto found = m_pending.find(id);
    if (found == m_pending.end())
        return; // dropped, timed out or answered already
    const std::shared_ptr<Pending> pending = found->second;
    m_pending.erase(found);
    release(*pending, false);
    pending->then(image);
}

void ArtworkLoader::dropAll()
{
    auto dropped = std::move(m_pending);
    m_pending.clear();
    for (auto& [id, pending] : dropped)
        release(*pending, true);
}

void ArtworkLoader::load(const QUrl& url, std::function<void(const QImage&)> then)
{
    const QString scheme = url.scheme();
    if (url.isLocalFile()) {
        readAway(begin(std::move(then), readTimeoutMs), url.toLocalFile());
        return;
    }
    if (scheme == QLatin1String("https") || scheme == QLatin1String("http")) {
        fetch(begin(std::move(then), 0), url);
        return;
    }
    const std::uint64_t id = begin(std::move(then), 0);
    QMetaObject::invokeMethod(this, [this, id] { finish(id, QImage()); }, Qt::QueuedConnection);
}

void ArtworkLoader::readAway(std::uint64_t id, const QString& path)
{
    workAway(id, [path](const std::atomic<bool>& cancelled) {
        return readFile(path, QDeadlineTimer(readTimeoutMs), [&cancelled] { return cancelled.load(); });
    });
}

void ArtworkLoader::workAway(std::uint64_t id, std::function<QImage(const std::atomic<bool>&)> work)
{
    QPointer<ArtworkLoader> self(this);
    auto cancelled = m_pending.at(id)->cancelled;
    QObject* box = &mailbox();
    auto task = [self, id, work = std::move(work), cancelled, box](bool counted) {
        if (counted)
            --queuedReads;
        if (cancelled->load())
            return; // dropped before its turn came
        QImage image = work(*cancelled);
        QMetaObject::invokeMethod(
            box,
            [self, id, image = std::move(image)] {
                if (self)
                    self->finish(id, image);
            },
            Qt::QueuedConnection);
    };
    if (readers().tryStart([task] { task(false); }))
        return;
    // Every reader busy, perhaps stuck on a dead mount: a few reads wait their turn, and a
    // cover past them is no image rather than one more read queued behind the stuck ones.
    if (queuedReads.load() >= maximumWaitingReads) {
        Diagnostics::log(Diagnostics::Category::media, "every cover reader is busy; no cover");
        QMetaObject::invokeMethod(this, [this, id] { finish(id, QImage()); }, Qt::QueuedConnection);
        return;
    }
    ++queuedReads;
    readers().start([task] { task(true); });
}

void ArtworkLoader::fetch(std::uint64_t id, const QUrl& url)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    m_pending.at(id)->reply = reply;
    auto received = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::readyRead, this, [reply, received, tooLarge] {
        if (received->size() + reply->bytesAvailable() > maximumBytes) {
            *tooLarge = true;
            reply->abort();
            return;
        }
        received->append(reply->readAll());
    });
    connect(reply, &QNetworkReply::finished, this, [this, id, reply, received, tooLarge] {
        if (!m_pending.count(id))
            return;
        if (!*tooLarge && reply->bytesAvailable() > 0 && received->size() + reply->bytesAvailable() <= maximumBytes)
            received->append(reply->readAll());
        // Whatever arrived is tried as an image, as a browser would; nothing arrived is no image.
        if (*tooLarge || received->isEmpty()) {
            finish(id, QImage());
            return;
        }
        decodeAway(id, std::move(*received));
    });
}

void ArtworkLoader::decodeAway(std::uint64_t id, QByteArray bytes)
{
    const std::shared_ptr<Pending>& pending = m_pending.at(id);
    if (pending->reply) {
        pending->reply->deleteLater();
        pending->reply = nullptr;
    }
    // Decoding is bounded work, but untrusted: it gets the same time limit as a read.
    armTimeout(id, readTimeoutMs);
    workAway(id, [bytes = std::move(bytes)](const std::atomic<bool>&) { return decode(bytes); });
}

} // namespace nimbra
