#include "platform/thumbnails/thumbnail_maker.h"

#include <QImageReader>
#include <QMimeDatabase>
#include <cmath>

namespace nimbra::thumbnail_maker {

namespace {

using Flavor = ThumbnailCache::Flavor;

QImage fitted(const QImage& image, int pixels)
{
    if (image.width() <= pixels && image.height() <= pixels)
        return image;
    return image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QStringList typesOf(const QString& path)
{
    // Thread-safe; looks at the name and, when that is not enough, the first bytes.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QStringList names { type.name() };
    names += type.aliases();
    names += type.allAncestors();
    names.removeDuplicates();
    return names;
}

// A failure so far, with what the file is: its stamp (none when it is gone), URI and types.
Outcome lookedAt(const QString& path)
{
    Outcome outcome;
    outcome.stamp = FileStamp::of(path);
    if (outcome.stamp) {
        outcome.uri = ThumbnailCache::fileUri(path);
        outcome.mimeTypes = typesOf(path);
    }
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

QImage renderImage(const QString& path, int pixels)
{
    QImageReader reader(path);
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

Outcome make(const QString& path, int pixels, const ThumbnailCache& cache, const std::optional<FileStamp>& knownFailure)
{
    Outcome outcome = lookedAt(path);
    if (!outcome.stamp)
        return outcome;
    if (knownFailure && *knownFailure == *outcome.stamp)
        return outcome;
    if (outcome.mimeTypes.value(0) == QLatin1String("inode/directory"))
        return outcome;

    const Flavor flavor = ThumbnailCache::flavorFor(pixels);
    const bool insideCache = cache.contains(path);
    if (!insideCache) {
        if (const auto cached = cache.lookup(outcome.uri, *outcome.stamp, wantedAndLarger(flavor))) {
            outcome.kind = Outcome::Kind::ready;
            outcome.image = fitted(*cached, pixels);
            outcome.fromCache = true;
            return outcome;
        }
    }
    if (QImageReader::imageFormat(path).isEmpty()) {
        outcome.kind = Outcome::Kind::needsService;
        return outcome;
    }
    const QImage picture = renderImage(path, ThumbnailCache::pixels(flavor));
    if (picture.isNull())
        return outcome;
    if (!insideCache)
        cache.store(outcome.uri, *outcome.stamp, outcome.mimeTypes.value(0), picture, flavor);
    outcome.kind = Outcome::Kind::ready;
    outcome.image = fitted(picture, pixels);
    return outcome;
}

Outcome readServiceResult(const QString& path, int pixels, const ThumbnailCache& cache)
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
    if (const auto cached = cache.lookup(outcome.uri, *outcome.stamp, order)) {
        outcome.kind = Outcome::Kind::ready;
        outcome.image = fitted(*cached, pixels);
        outcome.fromCache = true;
    }
    return outcome;
}

} // namespace nimbra::thumbnail_maker
