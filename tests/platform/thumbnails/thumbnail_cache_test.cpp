#include "platform/thumbnails/thumbnail_cache.h"
#include "platform/thumbnails/thumbnail_maker.h"

#include "platform/thumbnails/pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace nimbra;
using namespace nimbra::test;
using Flavor = ThumbnailCache::Flavor;

namespace {

FileStamp stampOf(const QString& path)
{
    const auto stamp = FileStamp::of(path);
    EXPECT_TRUE(stamp.has_value()) << path.toStdString();
    return stamp.value_or(FileStamp {});
}

// What GLib itself makes of a path, asked of the real library.
std::optional<QString> glibUri(const QString& path)
{
    QProcess python;
    python.start(qEnvironmentVariable("NIMBRA_PYTHON", "/usr/bin/python3"),
        { "-c", "import sys; from gi.repository import GLib; print(GLib.filename_to_uri(sys.argv[1], None))", path });
    if (!python.waitForFinished(20000) || python.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
}

// A picture on disk beside a cache of its own.
struct PictureAndCache {
    QTemporaryDir dir;
    ThumbnailCache cache { dir.path() + "/thumbnails" };
    QString file = dir.path() + "/photo.png";
    FileStamp stamp;
    QString uri = ThumbnailCache::fileUri(file);

    explicit PictureAndCache(const QImage& picture)
    {
        EXPECT_TRUE(writePicture(file, picture, "png"));
        stamp = stampOf(file);
    }
};

int mode(const QString& path)
{
    struct stat info { };
    ::stat(QFile::encodeName(path).constData(), &info);
    return int(info.st_mode & 0777);
}

} // namespace

TEST(ThumbnailCache, FileUrisAreEscapedAsGLibEscapesThem)
{
    const QString path = QString::fromUtf8("/tmp/Ferien 2024/été #1 [final] 100%;a?b&c=d+e,f!'(g)*~@:$.jpg");
    const QString ours = ThumbnailCache::fileUri(path);
    EXPECT_EQ(ours.toStdString(),
        "file:///tmp/Ferien%202024/%C3%A9t%C3%A9%20%231%20%5Bfinal%5D%20100%25%3Ba%3Fb&c=d+e,f!'(g)*~@:$.jpg");
    const auto glib = glibUri(path);
    ASSERT_TRUE(glib.has_value()) << "python3-gi could not be run";
    EXPECT_EQ(ours, *glib);
}

TEST(ThumbnailCache, FlavorsAndEntryNames)
{
    EXPECT_EQ(ThumbnailCache::flavorFor(96), Flavor::normal);
    EXPECT_EQ(ThumbnailCache::flavorFor(128), Flavor::normal);
    EXPECT_EQ(ThumbnailCache::flavorFor(192), Flavor::large);
    EXPECT_EQ(ThumbnailCache::flavorFor(600), Flavor::xxLarge);
    EXPECT_EQ(ThumbnailCache::flavorFor(5000), Flavor::xxLarge);
    // The name is the MD5 of the URI, in the flavor's folder.
    const ThumbnailCache cache("/c/thumbnails");
    EXPECT_EQ(cache.entryPath("file:///tmp/tumtest/a.pdf", Flavor::large).toStdString(),
        "/c/thumbnails/large/0a13c6733935a79a298fa056e483af1d.png");
    EXPECT_TRUE(cache.contains("/c/thumbnails/normal/x.png"));
    EXPECT_FALSE(cache.contains("/c/thumbnails-old/x.png"));
}

TEST(ThumbnailCache, RecordedModificationTimes)
{
    const FileStamp stamp { 1796628999, 410444123, 10 };
    EXPECT_TRUE(ThumbnailCache::mtimeMatches("1796628999", stamp));
    EXPECT_TRUE(ThumbnailCache::mtimeMatches(" 1796628999\n", stamp));
    // Fractions as other programs write them, compared to their own precision.
    EXPECT_TRUE(ThumbnailCache::mtimeMatches("1796628999.410444", stamp));
    EXPECT_TRUE(ThumbnailCache::mtimeMatches("1796628999.41", stamp));
    EXPECT_TRUE(ThumbnailCache::mtimeMatches("1796628999.410444123", stamp));
    EXPECT_FALSE(ThumbnailCache::mtimeMatches("1796628999.410445", stamp));
    EXPECT_FALSE(ThumbnailCache::mtimeMatches("1796628998", stamp));
    EXPECT_FALSE(ThumbnailCache::mtimeMatches("", stamp));
    EXPECT_FALSE(ThumbnailCache::mtimeMatches("17966x8999", stamp));
    EXPECT_FALSE(ThumbnailCache::mtimeMatches("1796628999.4x", stamp));
    EXPECT_FALSE(ThumbnailCache::mtimeMatches("-1796628999", stamp));
}

TEST(ThumbnailCache, StoredEntriesAreStandardPrivateAndFoundAgain)
{
    const PictureAndCache p(halves(900, 300));
    const ThumbnailCache& cache = p.cache;
    const FileStamp stamp = p.stamp;
    const QString uri = p.uri;

    ASSERT_TRUE(cache.store(uri, stamp, "image/png", halves(900, 300), Flavor::large));
    const QString entry = cache.entryPath(uri, Flavor::large);
    EXPECT_EQ(mode(cache.root()), 0700);
    EXPECT_EQ(mode(cache.root() + "/large"), 0700);
    EXPECT_EQ(mode(entry), 0600);
    // Nothing of the temporary file is left beside it.
    EXPECT_EQ(QDir(cache.root() + "/large").entryList(QDir::Files | QDir::Hidden).size(), 1);

    QImageReader reader(entry);
    EXPECT_EQ(reader.format(), "png");
    const QImage written = reader.read();
    EXPECT_EQ(written.text("Thumb::URI"), uri);
    EXPECT_EQ(written.text("Thumb::MTime"), QString::number(stamp.seconds));
    EXPECT_EQ(written.text("Thumb::Size"), QString::number(stamp.size));
    EXPECT_EQ(written.text("Thumb::Mime"), "image/png");
    EXPECT_EQ(written.size(), QSize(256, 85));

    const auto found = cache.lookup(uri, stamp, { Flavor::large });
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size(), QSize(256, 85));
    // Another flavor's folder holds nothing for it.
    EXPECT_FALSE(cache.lookup(uri, stamp, { Flavor::normal }).has_value());
}

TEST(ThumbnailCache, StaleOrForeignEntriesAreNotUsed)
{
    const PictureAndCache p(halves(300, 300));
    const ThumbnailCache& cache = p.cache;
    const FileStamp stamp = p.stamp;
    const QString uri = p.uri;
    ASSERT_TRUE(cache.store(uri, stamp, "image/png", halves(300, 300), Flavor::normal));

    FileStamp changed = stamp;
    changed.seconds += 1;
    EXPECT_FALSE(cache.lookup(uri, changed, { Flavor::normal }).has_value()) << "stale modification time";

    // An entry under this URI's name that was made for another file.
    QImage foreign = halves(128, 128);
    foreign.setText("Thumb::URI", "file:///somewhere/else.png");
    foreign.setText("Thumb::MTime", QString::number(stamp.seconds));
    ASSERT_TRUE(foreign.save(cache.entryPath(uri, Flavor::normal), "png"));
    EXPECT_FALSE(cache.lookup(uri, stamp, { Flavor::normal }).has_value()) << "wrong URI";

    // A broken file in the cache is skipped, not trusted.
    QFile broken(cache.entryPath(uri, Flavor::normal));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG\r\n\x1a\n-not-really");
    broken.close();
    EXPECT_FALSE(cache.lookup(uri, stamp, { Flavor::normal }).has_value());

    // One with a fractional time, as tumbler writes it, is valid for the same file.
    QImage theirs = halves(128, 128);
    theirs.setText("Thumb::URI", uri);
    theirs.setText(
        "Thumb::MTime", QString("%1.%2").arg(stamp.seconds).arg(stamp.nanoseconds / 1000, 6, 10, QLatin1Char('0')));
    ASSERT_TRUE(theirs.save(cache.entryPath(uri, Flavor::normal), "png"));
    EXPECT_TRUE(cache.lookup(uri, stamp, { Flavor::normal }).has_value());
}

TEST(ThumbnailMaker, PngIsDecodedScaledAndWrittenToTheCache)
{
    QTemporaryDir dir;
    const ThumbnailCache cache(dir.path() + "/thumbnails");
    const QString file = dir.path() + "/wide.png";
    ASSERT_TRUE(writePicture(file, halves(1200, 600), "png"));

    const auto first = thumbnail_maker::make(file, 192, cache);
    ASSERT_EQ(first.kind, thumbnail_maker::Outcome::Kind::ready);
    EXPECT_FALSE(first.fromCache);
    EXPECT_EQ(first.image.size(), QSize(192, 96));
    EXPECT_EQ(first.mimeTypes.value(0), "image/png");
    // Written in the flavor that covers 192 pixels, for everyone to share.
    const QString entry = cache.entryPath(ThumbnailCache::fileUri(file), Flavor::large);
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_EQ(QImageReader(entry).size(), QSize(256, 128));

    const auto second = thumbnail_maker::make(file, 192, cache);
    ASSERT_EQ(second.kind, thumbnail_maker::Outcome::Kind::ready);
    EXPECT_TRUE(second.fromCache);
    EXPECT_EQ(second.image.size(), QSize(192, 96));

    // A smaller tile reads the larger entry instead of decoding again.
    const auto small = thumbnail_maker::make(file, 80, cache);
    EXPECT_TRUE(small.fromCache);
    EXPECT_EQ(small.image.size(), QSize(80, 40));
}

TEST(ThumbnailMaker, JpegIsTurnedUprightByItsExifOrientation)
{
    QTemporaryDir dir;
    const ThumbnailCache cache(dir.path() + "/thumbnails");
    const QString file = dir.path() + "/phone.jpg";
    // Stored lying on its side (red left, blue right), tagged "turn 90° clockwise".
    ASSERT_TRUE(writeJpegWithOrientation(file, halves(800, 400), 6));

    const auto outcome = thumbnail_maker::make(file, 192, cache);
    ASSERT_EQ(outcome.kind, thumbnail_maker::Outcome::Kind::ready);
    EXPECT_EQ(outcome.mimeTypes.value(0), "image/jpeg");
    EXPECT_EQ(outcome.image.size(), QSize(96, 192));
    // Upright, the left half is on top.
    EXPECT_EQ(colourAt(outcome.image, 0.5, 0.2), "red");
    EXPECT_EQ(colourAt(outcome.image, 0.5, 0.8), "blue");

    // The cache holds the upright picture too, as other programs expect.
    const auto cached = cache.lookup(ThumbnailCache::fileUri(file), stampOf(file), { Flavor::large });
    ASSERT_TRUE(cached.has_value());
    EXPECT_EQ(cached->size(), QSize(128, 256));
    EXPECT_EQ(colourAt(*cached, 0.5, 0.2), "red");
}

TEST(ThumbnailMaker, WhatCannotBeDrawn)
{
    QTemporaryDir dir;
    const ThumbnailCache cache(dir.path() + "/thumbnails");
    using Kind = thumbnail_maker::Outcome::Kind;

    const auto gone = thumbnail_maker::make(dir.path() + "/gone.png", 128, cache);
    EXPECT_EQ(gone.kind, Kind::failed);
    EXPECT_FALSE(gone.stamp.has_value());

    const auto folder = thumbnail_maker::make(dir.path(), 128, cache);
    EXPECT_EQ(folder.kind, Kind::failed);
    EXPECT_EQ(folder.mimeTypes.value(0), "inode/directory");

    // A PNG cut off after its header: recognised, but no picture comes out.
    const QString cut = dir.path() + "/cut.png";
    {
        QFile file(cut);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x01\x00\x00\x00\x01\x00\x08\x02", 26);
    }
    EXPECT_EQ(thumbnail_maker::make(cut, 128, cache).kind, Kind::failed);

    // Text is for the thumbnailer service, with its type and the types it derives from.
    const QString notes = dir.path() + "/notes.txt";
    {
        QFile file(notes);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("shopping list\n");
    }
    const auto text = thumbnail_maker::make(notes, 128, cache);
    EXPECT_EQ(text.kind, Kind::needsService);
    EXPECT_EQ(text.mimeTypes.value(0), "text/plain");
    EXPECT_EQ(text.uri, ThumbnailCache::fileUri(notes));

    // A file that failed before and has not changed is not decoded again.
    const QString fine = dir.path() + "/fine.png";
    ASSERT_TRUE(writePicture(fine, halves(64, 64), "png"));
    EXPECT_EQ(thumbnail_maker::make(fine, 128, cache, stampOf(fine)).kind, Kind::failed);
    FileStamp older = stampOf(fine);
    older.seconds -= 10;
    EXPECT_EQ(thumbnail_maker::make(fine, 128, cache, older).kind, Kind::ready);
}
