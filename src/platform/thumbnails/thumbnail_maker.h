#pragma once

#include "platform/thumbnails/guarded_file.h"
#include "platform/thumbnails/thumbnail_cache.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>

// The work of making one file's thumbnail, done off the main thread: the shared cache first,
// then pictures decoded by Qt; anything else (and a picture over maxPictureBytes) is left for
// the desktop's thumbnailer service.
// Files are read as outside files (guarded_file.h): only regular files are opened, and every
// step gives up at the limit.
namespace nimbra::thumbnail_maker {

// How long looking at one file may take, reading and decoding included.
constexpr int readLimitMs = 10'000;
// What Qt's type detection looks at: the first 16 KiB.
constexpr qint64 typeBytes = 16 * 1024;
// The largest picture Qt decodes here; it is read into memory whole before decoding.
constexpr qint64 maxPictureBytes = 64 * 1024 * 1024;

// The picture in `file`, scaled while decoding so that its longest edge is at most `pixels`
// (never enlarged) and turned upright as its EXIF orientation says; null when Qt cannot read it.
QImage renderImage(QIODevice& file, int pixels);

struct Outcome {
    enum class Kind {
        // `image` holds the thumbnail.
        ready,
        // Qt cannot draw the file: the thumbnailer service may (`mimeTypes` are the type and
        // the types it derives from, most specific first).
        needsService,
        // Nothing can be drawn for the file as it is now.
        failed,
    };
    Kind kind = Kind::failed;
    QImage image;
    QString uri;
    QStringList mimeTypes;
    // The file's stamp when it was looked at; none when it was gone.
    std::optional<FileStamp> stamp;
    bool fromCache = false;
};

// Makes the thumbnail of `path` with at most `pixels` on its longest edge: from the cache when
// a valid entry exists, else decoded (and written to the cache). A file whose stamp equals
// `knownFailure` failed before and is not tried again. A folder, FIFO, socket or device fails
// with its type, unopened.
Outcome make(const QString& path, int pixels, const ThumbnailCache& cache,
    const std::optional<FileStamp>& knownFailure = std::nullopt,
    const ReadLimit& limit = { QDeadlineTimer(readLimitMs) });

// After the thumbnailer service reported success: what it wrote into the cache, in any flavor,
// the wanted one first.
Outcome readServiceResult(const QString& path, int pixels, const ThumbnailCache& cache,
    const ReadLimit& limit = { QDeadlineTimer(readLimitMs) });

} // namespace nimbra::thumbnail_maker
