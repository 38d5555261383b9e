#include "platform/thumbnails/file_thumbnails.h"

#include "platform/thumbnails/pictures.h"
#include "support/test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utime.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// A cache of its own with one worker, so requests are served in the order they were made.
struct Fixture {
    QTemporaryDir dir;
    FileThumbnails thumbnails { FileThumbnails::Options {
        .cacheRoot = dir.path() + "/thumbnails", .bus = std::nullopt, .useService = false, .threads = 1 } };
    int updates = 0;

    Fixture()
    {
        thumbnails.onUpdate = [this] { ++updates; };
    }

    QUrl picture(const QString& name, int w = 600, int h = 400, const char* format = "png")
    {
        const QString path = dir.path() + "/" + name;
        EXPECT_TRUE(writePicture(path, halves(w, h), format));
        return QUrl::fromLocalFile(path);
    }

    QUrl text(const QString& name, const QByteArray& contents)
    {
        const QString path = dir.path() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return QUrl::fromLocalFile(path);
    }

    bool settled()
    {
        return waitUntil([&] { return thumbnails.isIdle(); }, 20000);
    }
};

void touch(const QUrl& url, long seconds)
{
    const utimbuf times { seconds, seconds };
    ASSERT_EQ(::utime(QFile::encodeName(url.toLocalFile()).constData(), &times), 0);
}

} // namespace

TEST(FileThumbnails, Keys)
{
    const QUrl a = QUrl::fromLocalFile("/tmp/a.png");
    EXPECT_EQ(FileThumbnails::key(a, 52.9), "/tmp/a.png|52");
    EXPECT_EQ(FileThumbnails::key(a, 52), FileThumbnails::key(a, 52.7));
    EXPECT_NE(FileThumbnails::key(a, 52), FileThumbnails::key(a, 53));
    // Whatever a broken caller passes, a key comes out.
    EXPECT_EQ(FileThumbnails::key(a, std::numeric_limits<double>::quiet_NaN()), "/tmp/a.png|0");
    EXPECT_EQ(FileThumbnails::key(a, std::numeric_limits<double>::infinity()), "/tmp/a.png|0");
}

TEST(FileThumbnails, OneRequestPerKeyThenTheThumbnail)
{
    Fixture f;
    const QUrl url = f.picture("photo.png", 800, 400);
    const QPixmap first = f.thumbnails.image(url, 52, 2);
    f.thumbnails.image(url, 52.7, 2);
    // The icon stands in meanwhile, and the second call started nothing.
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(f.thumbnails.requestsStarted(), 1);
    EXPECT_TRUE(f.thumbnails.isInFlight(url, 52));

    ASSERT_TRUE(f.settled());
    ASSERT_TRUE(waitUntil([&] { return f.updates == 1; }));
    EXPECT_EQ(f.thumbnails.revision(), 1);
    EXPECT_TRUE(f.thumbnails.isCached(url, 52));
    const QPixmap thumbnail = f.thumbnails.image(url, 52, 2);
    EXPECT_EQ(thumbnail.size(), QSize(104, 52));
    EXPECT_EQ(colourAt(thumbnail.toImage(), 0.2, 0.5), "red");
    EXPECT_EQ(f.thumbnails.requestsStarted(), 1);

    // Another side is another thumbnail.
    f.thumbnails.image(url, 53, 2);
    EXPECT_EQ(f.thumbnails.requestsStarted(), 2);
    ASSERT_TRUE(f.settled());
    EXPECT_EQ(f.thumbnails.revision(), 2);
}

TEST(FileThumbnails, PrewarmSkipsWhatIsCachedOrOnTheWay)
{
    Fixture f;
    const QUrl a = f.picture("a.png");
    const QUrl b = f.picture("b.png");
    f.thumbnails.prewarm({ a }, 60, 2);
    f.thumbnails.prewarm({ a, b }, 60, 2);
    EXPECT_EQ(f.thumbnails.requestsStarted(), 2);
    ASSERT_TRUE(f.settled());
    f.thumbnails.prewarm({ a, b }, 60, 2);
    EXPECT_EQ(f.thumbnails.requestsStarted(), 2);
    EXPECT_EQ(f.thumbnails.revision(), 2);
    // Both arrived in one turn or two, never more updates than thumbnails.
    ASSERT_TRUE(waitUntil([&] { return f.updates >= 1; }));
    EXPECT_LE(f.updates, 2);
    f.thumbnails.prewarm({}, 60, 2);
    EXPECT_EQ(f.thumbnails.requestsStarted(), 2);
}

TEST(FileThumbnails, AFailureIsRememberedUntilTheFileChanges)
{
    Fixture f;
    // Named like a picture, but no picture inside.
    const QUrl broken = f.text("broken.png", "\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x01\x00\x00\x00\x01\x00");
    touch(broken, 1'700'000'000);
    f.thumbnails.image(broken, 60, 2);
    ASSERT_TRUE(f.settled());
    EXPECT_TRUE(f.thumbnails.hasFailed(broken, 60));
    EXPECT_EQ(f.thumbnails.revision(), 0);

    // Redraws do not ask again: a later request for another file comes back while the broken
    // one is still not requested.
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(f.thumbnails.image(broken, 60, 2).isNull());
    const QUrl other = f.picture("other.png");
    f.thumbnails.image(other, 60, 2);
    ASSERT_TRUE(f.settled());
    EXPECT_TRUE(f.thumbnails.isCached(other, 60));
    EXPECT_EQ(f.thumbnails.requestsStarted(), 2);

    // Dropped again unchanged: looked at, and still a failure.
    f.thumbnails.prewarm({ broken }, 60, 2);
    ASSERT_TRUE(f.settled());
    EXPECT_TRUE(f.thumbnails.hasFailed(broken, 60));

    // Once it holds a picture (a new modification time), dropping it again makes the thumbnail.
    ASSERT_TRUE(writePicture(broken.toLocalFile(), halves(300, 300), "png"));
    touch(broken, 1'700'000'100);
    f.thumbnails.prewarm({ broken }, 60, 2);
    ASSERT_TRUE(f.settled());
    EXPECT_FALSE(f.thumbnails.hasFailed(broken, 60));
    EXPECT_TRUE(f.thumbnails.isCached(broken, 60));
}

TEST(FileThumbnails, ForgettingDropsThumbnailsFailuresAndWorkOnTheWay)
{
    Fixture f;
    const QUrl ab = f.picture("ab.png");
    const QUrl abc = f.picture("ab.pngc");
    f.thumbnails.prewarm({ ab }, 52, 2);
    f.thumbnails.prewarm({ ab }, 96, 2);
    f.thumbnails.prewarm({ abc }, 52, 2);
    ASSERT_TRUE(f.settled());
    ASSERT_TRUE(f.thumbnails.isCached(ab, 52) && f.thumbnails.isCached(ab, 96) && f.thumbnails.isCached(abc, 52));
    f.thumbnails.forget(ab);
    EXPECT_FALSE(f.thumbnails.isCached(ab, 52));
    EXPECT_FALSE(f.thumbnails.isCached(ab, 96));
    EXPECT_TRUE(f.thumbnails.isCached(abc, 52));

    // A failure is forgotten too: the next redraw asks again.
    const QUrl broken = f.text("broken.jpg", "not a picture");
    f.thumbnails.image(broken, 52, 2);
    ASSERT_TRUE(f.settled());
    ASSERT_TRUE(f.thumbnails.hasFailed(broken, 52));
    f.thumbnails.forget(broken);
    EXPECT_FALSE(f.thumbnails.hasFailed(broken, 52));
    const int before = f.thumbnails.requestsStarted();
    f.thumbnails.image(broken, 52, 2);
    EXPECT_EQ(f.thumbnails.requestsStarted(), before + 1);
    ASSERT_TRUE(f.settled());

    // Forgotten while being made: its answer is not stored. The one worker serves requests in
    // order, so once the later file is ready the forgotten one has come and gone.
    const int revision = f.thumbnails.revision();
    const QUrl big = f.picture("big.jpg", 3000, 2000, "jpg");
    const QUrl later = f.picture("later.png");
    f.thumbnails.image(big, 52, 2);
    f.thumbnails.forget(big);
    EXPECT_FALSE(f.thumbnails.isInFlight(big, 52));
    f.thumbnails.image(later, 52, 2);
    ASSERT_TRUE(f.settled());
    ASSERT_TRUE(f.thumbnails.isCached(later, 52));
    EXPECT_FALSE(f.thumbnails.isCached(big, 52));
    EXPECT_FALSE(f.thumbnails.hasFailed(big, 52));
    EXPECT_EQ(f.thumbnails.revision(), revision + 1);
}

TEST(FileThumbnails, IconsStandInByType)
{
    EXPECT_EQ(FileThumbnails::iconName("inode/directory"), "folder");
    EXPECT_EQ(FileThumbnails::iconName("application/pdf"), "x-office-document");
    EXPECT_EQ(FileThumbnails::iconName("audio/mpeg"), "audio-x-generic");
    EXPECT_EQ(FileThumbnails::iconName("image/jpeg"), "image-x-generic");
    // A type nobody knows still gets the generic one.
    EXPECT_FALSE(FileThumbnails::iconName("application/x-nimbra-nothing").isEmpty());

    Fixture f;
    const QUrl pdf = f.text("report.pdf", "%PDF-1.1\n");
    const QPixmap icon = f.thumbnails.image(pdf, 48, 2);
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon.deviceIndependentSize().toSize(), QSize(48, 48));
    // Without a thumbnailer service, a document keeps its icon for good.
    ASSERT_TRUE(f.settled());
    EXPECT_TRUE(f.thumbnails.hasFailed(pdf, 48));
    EXPECT_EQ(f.thumbnails.image(pdf, 48, 2).cacheKey(), icon.cacheKey());

    // A file without an extension gets the icon of what it turns out to hold.
    const QUrl script = f.text("run", "#!/usr/bin/env python3\nprint('hi')\n");
    const qint64 byName = f.thumbnails.image(script, 48, 2).cacheKey();
    ASSERT_TRUE(f.settled());
    ASSERT_TRUE(waitUntil([&] { return f.updates >= 1; }));
    EXPECT_NE(f.thumbnails.image(script, 48, 2).cacheKey(), byName);
}
