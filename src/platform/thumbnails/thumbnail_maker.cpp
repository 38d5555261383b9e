#include "platform/thumbnails/thumbnail_maker.h"

#include "platform/thumbnails/worker_census.h"

#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <cmath>
#include <sys/stat.h>

namespace nimbra::thumbnail_maker {

namespace {

using Flavor = ThumbnailCache::Flavor;

QImage fitted(const QImage& image, int pixels)
{
    if (image.width() <= pixels && image.height() <= pixels)
        return image;
    return image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QStringList namesOf(const QMimeType& type)
{
    QStringList names { type.name() };
    names += type.aliases();
    names += type.allAncestors();
    names.removeDuplicates();
    return names;
}

// The type of whatever is at `path` that is not a regular file, from its metadata alone.
QString typeOfNonRegular(const QString& path)
{
    const OutsideWait waiting;
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("inode/directory");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("inode/fifo");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("inode/socket");
    if (S_ISCHR(info.st_mode))
        return QStringLiteral("inode/chardevice");
    if (S_ISBLK(info.st_mode))
        return QStringLiteral("inode/blockdevice");
    return {};
}

// A failure so far, with what the file is: its stamp (none when it is gone) and URI.
Outcome lookedAt(const QString& path)
{
    Outcome outcome;
    outcome.stamp = FileStamp::of(path);
    if (outcome.stamp)
        outcome.uri = ThumbnailCache::fileUri(path);
    return outcome;
}

// The wanted flavor and the larger ones (a larger picture scales down well).
QList<Flavor> wantedAndLarger(Flavor wanted)
{
    QList<Flavor> order;
    for (Flavor flavor : ThumbnailCache::allFlavors) {
        if (flavor >= wanted)
            order << flavor;
    }
    return order;
}

} // namespace

QImage renderImage(QIODevice& file, int pixels)
{
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    // The size before any turn; scaling to fit a square does not depend on the orientation.
    const QSize size = reader.size();
    if (size.isValid() && pixels > 0 && (size.width() > pixels || size.height() > pixels)) {
        const double factor = double(pixels) / std::max(size.width(), size.height());
        // Decoders that can (JPEG) decode at the smaller size directly instead of in full.
        reader.setScaledSize(QSize(std::max(1, int(std::lround(size.width() * factor))),
            std::max(1, int(std::lround(size.height() * factor)))));
    }
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    return fitted(image, pixels);
}

Outcome make(const QString& path, int pixels, const ThumbnailCache& cache, const std::optional<FileStamp>& knownFailure,
    const ReadLimit& limit)
{
    Outcome outcome = lookedAt(path);
    if (!outcome.stamp)
        return outcome;
    // A folder, FIFO, socket or device has its type and nothing to draw; a FIFO or a device is
    // never opened, since opening or reading one can wait for ever.
    if (fileKind(path) != FileKind::regular) {
        outcome.mimeTypes = QStringList { typeOfNonRegular(path) };
        outcome.mimeTypes.removeAll(QString());
        return outcome;
    }
    GuardedFile file(path, limit);
    if (!file.openRegular() || !file.load(typeBytes))
        return outcome;
    // Thread-safe; looks at the name and, when that is not enough, the first bytes.
    outcome.mimeTypes = namesOf(QMimeDatabase().mimeTypeForFileNameAndData(path, &file));
    if (knownFailure && *knownFailure == *outcome.stamp)
        return outcome;

    const Flavor flavor = ThumbnailCache::flavorFor(pixels);
    const bool insideCache = cache.contains(path);
    if (!insideCache) {
        if (const auto cached = cache.lookup(outcome.uri, *outcome.stamp, wantedAndLarger(flavor), limit)) {
            outcome.kind = Outcome::Kind::ready;
            outcome.image = fitted(*cached, pixels);
            outcome.fromCache = true;
            return outcome;
        }
    }
    if (!file.seek(0) || limit.reached())
        return outcome;
    if (QImageReader::imageFormat(&file).isEmpty()) {
        outcome.kind = limit.reached() ? Outcome::Kind::failed : Outcome::Kind::needsService;
        return outcome;
    }
    // Decoded from memory, the whole file read first; a larger picture is the thumbnailer
    // service's.
    if (file.fileSize() > maxPictureBytes) {
        outcome.kind = Outcome::Kind::needsService;
        return outcome;
    }
    if (!file.load(file.fileSize()) || !file.seek(0))
        return outcome;
    const QImage picture = renderImage(file, ThumbnailCache::pixels(flavor));
    // A picture cut short by the limit is no thumbnail.
    if (picture.isNull() || limit.reached())
        return outcome;
    if (!insideCache)
        cache.store(outcome.uri, *outcome.stamp, outcome.mimeTypes.value(0), picture, flavor);
    outcome.kind = Outcome::Kind::ready;
    outcome.image = fitted(picture, pixels);
    return outcome;
}

Outcome readServiceResult(const QString& path, int pixels, const ThumbnailCache& cache, const ReadLimit& limit)
{
    Outcome outcome = lookedAt(path);
    if (!outcome.stamp)
        return outcome;
    // Whatever size the service made, the closest one that is large enough first.
    const Flavor wanted = ThumbnailCache::flavorFor(pixels);
    QList<Flavor> order = wantedAndLarger(wanted);
    for (auto it = std::rbegin(ThumbnailCache::allFlavors); it != std::rend(ThumbnailCache::allFlavors); ++it) {
        if (*it < wanted)
            order << *it;
    }
    if (const auto cached = cache.lookup(outcome.uri, *outcome.stamp, order, limit)) {
        outcome.kind = Outcome::Kind::ready;
        outcome.image = fitted(*cached, pixels);
        outcome.fromCache = true;
    }
    return outcome;
}

} // namespace nimbra::thumbnail_maker
