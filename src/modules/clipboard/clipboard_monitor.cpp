#include "modules/clipboard/clipboard_monitor.h"

#include "core/diagnostics.h"
#include "core/file_url.h"
#include "platform/clipboard/system_clipboard.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QThreadPool>
#include <QUrl>
#include <cmath>

namespace nimbra {

const ModuleID ClipboardMonitor::moduleID { QStringLiteral("clipboard") };

namespace {

const QByteArray uriList = QByteArrayLiteral("text/uri-list");
const QByteArray gnomeCopiedFiles = QByteArrayLiteral("x-special/gnome-copied-files");
const QByteArray pngType = QByteArrayLiteral("image/png");
const QByteArray qtImageType = QByteArrayLiteral("application/x-qt-image");

// Text targets, best first: the ones that name their encoding, then the plain ones.
const QList<QByteArray>& textTargets()
{
    static const QList<QByteArray> targets { "text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING" };
    return targets;
}

void log(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::clipboard, [&] { return message; });
}

// Serves an image entry as its PNG bytes, and as a decoded image only when an application
// asks for a format other than PNG: a large image is never decoded just to be offered.
class ImageMimeData final : public QMimeData {
public:
    explicit ImageMimeData(QByteArray png)
        : m_png(std::move(png))
    {
    }

    QStringList formats() const override { return { QString::fromLatin1(pngType), QString::fromLatin1(qtImageType) }; }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType == QLatin1String(pngType))
            return m_png;
        if (mimeType == QLatin1String(qtImageType)) {
            if (m_image.isNull())
                m_image = QImage::fromData(m_png, "PNG");
            return m_image;
        }
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    QByteArray m_png;
    mutable QImage m_image;
};

// Bytes the image codecs read from or write to, refusing every read and write once
// `cancelled` is set: a decode or encode that was given up stops at its next step.
class CancellableBuffer final : public QBuffer {
public:
    CancellableBuffer(QByteArray* bytes, const std::atomic_bool* cancelled)
        : QBuffer(bytes)
        , m_cancelled(cancelled)
    {
    }

    bool isCancelled() const { return m_cancelled && m_cancelled->load(std::memory_order_relaxed); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        return isCancelled() ? -1 : QBuffer::readData(data, maxSize);
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        return isCancelled() ? -1 : QBuffer::writeData(data, size);
    }

private:
    const std::atomic_bool* m_cancelled;
};

bool isPngReadable(const QByteArray& png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.canRead() && reader.size().isValid() && !reader.size().isEmpty();
}

} // namespace

ClipboardMonitor::ClipboardMonitor(SystemClipboard* clipboard, QObject* parent)
    : QObject(parent)
    , m_clipboard(clipboard)
    , m_store(ClipboardStore::Limits {})
{
    if (!m_clipboard) {
        m_ownClipboard = std::make_unique<SystemClipboard>();
        m_clipboard = m_ownClipboard.get();
    }
    m_clipboard->onChange = [this] { announce(); };
    // The image formats are looked up once here: the reader thread only reads the answer.
    isImageTarget(pngType);
    m_captureTimer.setSingleShot(true);
    m_captureTimer.setInterval(500);
    connect(&m_captureTimer, &QTimer::timeout, this, &ClipboardMonitor::poll);
    // Never Qt's global pool: the raster engine waits on that one while painting.
    m_imagePool = std::make_unique<QThreadPool>();
    m_imagePool->setMaxThreadCount(2);
    m_imageDeadline.setSingleShot(true);
    connect(&m_imageDeadline, &QTimer::timeout, this, &ClipboardMonitor::giveUpImage);
}

ClipboardMonitor::~ClipboardMonitor()
{
    if (m_clipboard)
        m_clipboard->onChange = nullptr;
    if (m_imageCancel)
        m_imageCancel->store(true);
    m_imagePool->clear();
    // A cancelled image stops at its next read or write; one that does not is left behind
    // rather than waited for.
    if (!m_imagePool->waitForDone(250))
        (void)m_imagePool.release();
}

const QList<QByteArray>& ClipboardMonitor::blockedTargets()
{
    // The published markers of concealed, transient and generated contents, two applications'
    // private types, the plain generated-content marker, and the hint the Linux password
    // managers set beside a secret.
    static const QList<QByteArray> targets { "org.nspasteboard.ConcealedType", "org.nspasteboard.TransientType",
        "org.nspasteboard.AutoGeneratedType", "com.agilebits.onepassword", "com.typeit4me.clipping",
        "Pasteboard generator type", "x-kde-passwordManagerHint" };
    return targets;
}

bool ClipboardMonitor::isBlocked(const QList<QByteArray>& targets)
{
    for (const QByteArray& target : targets) {
        if (blockedTargets().contains(target))
            return true;
    }
    return false;
}

bool ClipboardMonitor::isFilesTarget(const QByteArray& target)
{
    return target == uriList || target == gnomeCopiedFiles;
}

bool ClipboardMonitor::isImageTarget(const QByteArray& target)
{
    if (!target.startsWith("image/") || target.contains("svg"))
        return false;
    static const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    return readable.contains(target);
}

QList<QByteArray> ClipboardMonitor::candidates(
    const QList<QByteArray>& targets, bool keepsImages, const QList<QByteArray>& excluded)
{
    QList<QByteArray> chosen;
    const auto offer = [&](const QByteArray& target) {
        if (targets.contains(target) && !excluded.contains(target) && !chosen.contains(target))
            chosen << target;
    };
    offer(uriList);
    offer(gnomeCopiedFiles);
    if (keepsImages) {
        offer(pngType);
        for (const QByteArray& target : targets) {
            if (isImageTarget(target))
                offer(target);
        }
    }
    for (const QByteArray& target : textTargets())
        offer(target);
    return chosen;
}

QList<QUrl> ClipboardMonitor::localFiles(const QByteArray& target, const QByteArray& data)
{
    QList<QByteArray> lines = data.split('\n');
    // The file manager's list starts with the operation ("copy" or "cut").
    if (target == gnomeCopiedFiles && !lines.isEmpty())
        lines.removeFirst();
    QList<QUrl> files;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line, QUrl::StrictMode);
        if (url.isValid() && url.isLocalFile() && !localPath(url).isEmpty())
            files << url;
    }
    return files;
}

QString ClipboardMonitor::text(const QByteArray& target, const QByteArray& data)
{
    // STRING is Latin-1 by definition; the other text targets carry UTF-8.
    if (target == "STRING")
        return QString::fromLatin1(data);
    return QString::fromUtf8(data);
}

std::optional<ClipboardMonitor::EncodedImage> ClipboardMonitor::encodeImage(
    const QByteArray& data, const std::atomic_bool* cancelled)
{
    QByteArray input = data;
    CancellableBuffer in(&input, cancelled);
    in.open(QIODevice::ReadOnly);
    QImage image = QImageReader(&in).read();
    if (image.isNull() || in.isCancelled())
        return std::nullopt;
    EncodedImage encoded;
    encoded.pixelSize = image.size();
    {
        CancellableBuffer out(&encoded.png, cancelled);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "png");
        if (!writer.write(image) || out.isCancelled())
            return std::nullopt;
    }
    // Too large to be kept: not worth a digest and a thumbnail.
    if (encoded.png.size() > maxImageBytes)
        return encoded;
    encoded.payload = ClipboardItem::Payload::image(encoded.png, QSizeF(encoded.pixelSize));
    // Filled, not fitted: the list shows a square cut from the middle.
    const QImage filled
        = image.scaled(thumbnailSide, thumbnailSide, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    encoded.thumbnail = filled
                            .copy((filled.width() - thumbnailSide) / 2, (filled.height() - thumbnailSide) / 2,
                                thumbnailSide, thumbnailSide)
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return encoded;
}

void ClipboardMonitor::start(double pollInterval)
{
    if (m_started)
        return;
    m_started = true;
    // Whatever the clipboard holds now is never captured.
    m_lastChangeCount = m_changeCount;
    m_captureTimer.setInterval(std::max(0, int(std::lround(pollInterval * 1000))));
    log(QStringLiteral("watching clipboard every ") + QString::number(pollInterval) + QStringLiteral("s"));
}

void ClipboardMonitor::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_captureTimer.stop();
    ++m_generation;
    m_busy = false;
    m_imageDeadline.stop();
    if (m_imageCancel)
        std::exchange(m_imageCancel, nullptr)->store(true);
}

void ClipboardMonitor::announce()
{
    ++m_changeCount;
    if (m_started && !m_busy && !m_captureTimer.isActive())
        m_captureTimer.start();
}

void ClipboardMonitor::poll()
{
    if (!m_started || m_busy)
        return;
    if (m_changeCount == m_lastChangeCount)
        return;
    m_lastChangeCount = m_changeCount;
    // The monitor's own write is not recorded again.
    if (m_ownChangeCount == m_changeCount || m_clipboard->ownsClipboard())
        return;
    m_captureSource = sourceApplication ? sourceApplication() : std::nullopt;
    m_busy = true;
    read({});
}

void ClipboardMonitor::read(const QList<QByteArray>& excluded)
{
    const bool images = keepsImages;
    const quint64 generation = m_generation;
    m_clipboard->read(
        [images, excluded](const QList<QByteArray>& targets) {
            return isBlocked(targets) ? QList<QByteArray>() : candidates(targets, images, excluded);
        },
        m_store.limits().maxBytes,
        [this, generation, excluded](const ClipboardOffer& offer) {
            if (generation == m_generation)
                finishRead(offer, excluded);
        });
}

void ClipboardMonitor::finishRead(const ClipboardOffer& offer, const QList<QByteArray>& excluded)
{
    if (isBlocked(offer.targets)) {
        log(QStringLiteral("skipped a concealed item"));
        finishCapture();
        return;
    }
    if (offer.tooLarge) {
        skipTooLarge();
        return;
    }
    if (!offer.hasData()) {
        finishCapture();
        return;
    }
    // What the first choice held may still be unusable (links that are no local files, bytes
    // that are no image): then the next kind is read.
    const auto readOn = [&](const QList<QByteArray>& skip) {
        QList<QByteArray> next = excluded;
        next << skip;
        read(next);
    };

    if (isFilesTarget(offer.target)) {
        const QList<QUrl> files = localFiles(offer.target, offer.data);
        if (!files.isEmpty()) {
            keep(ClipboardItem::Payload::files(files));
            return;
        }
        readOn({ uriList, gnomeCopiedFiles });
        return;
    }

    if (isImageTarget(offer.target)) {
        encode(offer.data, offer.target, excluded);
        return;
    }

    const QString copied = text(offer.target, offer.data);
    if (std::all_of(copied.cbegin(), copied.cend(), [](QChar c) { return c.isSpace(); })) {
        finishCapture();
        return;
    }
    keep(ClipboardItem::Payload::text(copied));
}

void ClipboardMonitor::encode(const QByteArray& data, const QByteArray& target, const QList<QByteArray>& excluded)
{
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_imageCancel = cancel;
    m_imageDeadline.start(imageTimeLimitMs);
    std::weak_ptr<int> alive = m_alive;
    m_imagePool->start([this, alive, cancel, data, target, excluded] {
        std::optional<EncodedImage> image = cancel->load() ? std::nullopt : encodeImage(data, cancel.get());
        QCoreApplication* app = QCoreApplication::instance();
        if (cancel->load() || !app)
            return;
        QMetaObject::invokeMethod(
            app,
            [this, alive, cancel, image = std::move(image), target, excluded] {
                // Only the image still waited for: one given up or stopped counts no more.
                if (!alive.lock() || m_imageCancel != cancel)
                    return;
                m_imageCancel.reset();
                m_imageDeadline.stop();
                finishImage(image, target, excluded);
            },
            Qt::QueuedConnection);
    });
}

void ClipboardMonitor::giveUpImage()
{
    if (!m_imageCancel)
        return;
    std::exchange(m_imageCancel, nullptr)->store(true);
    log(QStringLiteral("gave up on a copied image that took over %1 s").arg(imageTimeLimitMs / 1000.0));
    finishCapture();
}

void ClipboardMonitor::skipTooLarge()
{
    log(QStringLiteral("skipped a copy larger than the history's %1MB").arg(m_store.limits().maxBytes / 1048576));
    finishCapture();
}

void ClipboardMonitor::finishImage(
    const std::optional<EncodedImage>& image, const QByteArray& target, QList<QByteArray> excluded)
{
    if (!image) {
        // Bytes that are no image: the text beside them, if any, is what was copied.
        QList<QByteArray> images { target, pngType };
        excluded << images;
        for (const QByteArray& type : QImageReader::supportedMimeTypes())
            excluded << type;
        read(excluded);
        return;
    }
    if (image->png.size() > maxImageBytes) {
        log(QStringLiteral("skipped a %1MB image").arg(image->png.size() / 1048576));
        finishCapture();
        return;
    }
    keep(image->payload, image->thumbnail);
}

void ClipboardMonitor::keep(const ClipboardItem::Payload& payload, const QImage& thumbnail)
{
    ClipboardItem item;
    item.id = QUuid::createUuid();
    item.payload = payload;
    item.sourceBundleID = m_captureSource;
    item.copiedAt = QDateTime::currentDateTime();
    item.isPinned = false;
    // Kept, it would push every other entry out and then itself.
    if (item.byteCount() > m_store.limits().maxBytes) {
        skipTooLarge();
        return;
    }
    // An entry with the same content moves to the front and still counts as a capture.
    m_store.insert(item);
    if (!thumbnail.isNull() && !m_store.items().isEmpty() && m_store.items().first().hasSameContent(item))
        m_thumbnails.insert(m_store.items().first().id, thumbnail);
    pruneThumbnails();
    log(QStringLiteral("captured ") + item.preview().left(40));
    finishCapture();
    if (onCapture)
        onCapture();
    if (onChange)
        onChange();
}

void ClipboardMonitor::finishCapture()
{
    m_busy = false;
    ++m_capturesFinished;
    // Changes announced while this capture was on its way get their own.
    if (m_started && m_changeCount != m_lastChangeCount && !m_captureTimer.isActive())
        m_captureTimer.start();
}

void ClipboardMonitor::pruneThumbnails()
{
    if (m_thumbnails.isEmpty())
        return;
    QSet<QUuid> ids;
    for (const ClipboardItem& item : m_store.items())
        ids.insert(item.id);
    m_thumbnails.removeIf([&](const auto& entry) { return !ids.contains(entry.key()); });
}

void ClipboardMonitor::setLimits(const ClipboardStore::Limits& limits)
{
    if (limits == m_store.limits())
        return;
    m_store.setLimits(limits);
    if (!m_store.items().isEmpty()) {
        // Re-inserting the newest entry runs the store's eviction under the new limits.
        const ClipboardItem first = m_store.items().first();
        m_store.remove(first.id);
        m_store.insert(first);
    }
    pruneThumbnails();
    if (onChange)
        onChange();
}

void ClipboardMonitor::remove(const QUuid& id)
{
    m_store.remove(id);
    pruneThumbnails();
    if (onChange)
        onChange();
}

void ClipboardMonitor::togglePin(const QUuid& id)
{
    m_store.togglePin(id);
    if (onChange)
        onChange();
}

void ClipboardMonitor::clear()
{
    m_store.clearUnpinned();
    pruneThumbnails();
    if (onChange)
        onChange();
}

bool ClipboardMonitor::copyToPasteboard(const QUuid& id)
{
    const auto& items = m_store.items();
    const auto found
        = std::find_if(items.cbegin(), items.cend(), [&](const ClipboardItem& item) { return item.id == id; });
    if (found == items.cend())
        return false;

    std::unique_ptr<QMimeData> data;
    if (const QString* text = found->payload.asText()) {
        if (text->isEmpty())
            return false;
        data = std::make_unique<QMimeData>();
        data->setText(*text);
    } else if (const ClipboardItem::Payload::Image* image = found->payload.asImage()) {
        if (!isPngReadable(image->png)) {
            log(QStringLiteral("the image of this entry cannot be read; nothing copied"));
            return false;
        }
        data = std::make_unique<ImageMimeData>(image->png);
    } else {
        QList<QUrl> existing;
        for (const QUrl& url : *found->payload.asFiles()) {
            if (QFileInfo::exists(localPath(url)))
                existing << url;
        }
        if (existing.isEmpty()) {
            log(QStringLiteral("the files of this entry are gone; nothing copied"));
            return false;
        }
        data = std::make_unique<QMimeData>();
        data->setUrls(existing);
        QByteArray copied = QByteArrayLiteral("copy");
        for (const QUrl& url : existing)
            copied += '\n' + url.toEncoded();
        data->setData(QString::fromLatin1(gnomeCopiedFiles), copied);
    }

    const bool written = m_clipboard->write(data.release());
    // The announcement of this write may come now or later; either way it is ours.
    m_ownChangeCount = m_changeCount;
    m_lastChangeCount = m_changeCount;
    if (!written)
        log(QStringLiteral("the clipboard was not given to Nimbra; nothing copied"));
    return written;
}

} // namespace nimbra
