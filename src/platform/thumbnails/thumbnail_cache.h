#pragma once

#include "platform/thumbnails/guarded_file.h"

#include <QImage>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails): a PNG per file and size,
// named after the MD5 of the file's URI, carrying the URI and the file's modification time so a
// reader can tell whether it still belongs to the file. Other applications read what we write
// here and we read theirs. Every member is safe to call from any thread.
namespace nimbra {

// When a file was last modified, as precisely as the file system keeps it.
struct FileStamp {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    std::int64_t size = 0;

    // The stamp of the file at `path` (symbolic links followed); none when nothing is there.
    static std::optional<FileStamp> of(const QString& path);

    bool operator==(const FileStamp&) const = default;
};

class ThumbnailCache {
public:
    // The four sizes of the cache, by the longest edge of their pictures.
    enum class Flavor { normal, large, xLarge, xxLarge };
    static constexpr Flavor allFlavors[] { Flavor::normal, Flavor::large, Flavor::xLarge, Flavor::xxLarge };

    static QString folderName(Flavor flavor);
    static int pixels(Flavor flavor);
    // The smallest flavor whose pictures have at least `pixels` on their longest edge; the
    // largest one when none has.
    static Flavor flavorFor(int pixels);

    // `root` is the cache's folder; by default $XDG_CACHE_HOME/thumbnails.
    explicit ThumbnailCache(QString root = defaultRoot());
    static QString defaultRoot();
    const QString& root() const { return m_root; }

    // The file URI the cache keys a local path by, escaped byte for byte the way GLib writes
    // file URIs, so every application finds the same entry for the same file.
    static QString fileUri(const QString& path);
    QString entryPath(const QString& uri, Flavor flavor) const;

    // Whether a thumbnail's recorded modification time names `stamp`: whole seconds, or a
    // decimal fraction compared to the precision it was written with.
    static bool mtimeMatches(const QString& recorded, const FileStamp& stamp);

    // The cached picture of the file, valid only when it was made for this URI and this
    // modification time. Flavors are tried in the given order; reading stops at `limit`.
    std::optional<QImage> lookup(const QString& uri, const FileStamp& stamp, const QList<Flavor>& order,
        const ReadLimit& limit = { QDeadlineTimer(readLimitMs) }) const;
    // How long reading one entry may take.
    static constexpr int readLimitMs = 5000;
    // An entry larger than this is no thumbnail of ours (the largest is 1024 pixels square).
    static constexpr qint64 maxEntryBytes = 16 * 1024 * 1024;
    static constexpr qint64 entryHeadBytes = 64 * 1024;
    // Writes `image` (scaled down to the flavor when larger) in the standard form: PNG with the
    // URI, modification time, size and type, readable by its owner only, replaced atomically.
    bool store(
        const QString& uri, const FileStamp& stamp, const QString& mimeType, const QImage& image, Flavor flavor) const;

    // A file inside the cache itself must never be thumbnailed into it.
    bool contains(const QString& path) const;

private:
    QString m_root;
};

} // namespace nimbra
