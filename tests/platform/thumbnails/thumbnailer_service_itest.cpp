#include "platform/thumbnails/file_thumbnails.h"
#include "platform/thumbnails/thumbnailer_service.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

QString tumblerd()
{
    const QStringList found = QDir("/usr/lib").entryList({ "*" }, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& dir : found) {
        const QString path = "/usr/lib/" + dir + "/tumbler-1/tumblerd";
        if (QFile::exists(path))
            return path;
    }
    return {};
}

// The desktop's thumbnailer (tumbler) on a bus of the test's own, writing into `cacheHome`.
struct Tumbler {
    QProcess process;

    Tumbler(const PrivateBus& bus, const QString& cacheHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        env.insert("XDG_CACHE_HOME", cacheHome);
        env.remove("DISPLAY");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(tumblerd(), QStringList {});
    }
    ~Tumbler()
    {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
};

bool owned(const QDBusConnection& bus, const QString& name)
{
    return bus.interface() && bus.interface()->isServiceRegistered(name).value();
}

// A one-page PDF that is red all over but for a white margin.
bool writeRedPdf(const QString& path)
{
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QSizeF(100, 100), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p;
    if (!p.begin(&pdf))
        return false;
    const QRect page = p.viewport();
    p.fillRect(page.adjusted(page.width() / 10, page.height() / 10, -page.width() / 10, -page.height() / 10), Qt::red);
    return p.end();
}

double redShare(const QImage& image)
{
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += (c.red() > 180 && c.green() < 90 && c.blue() < 90) ? 1 : 0;
        }
    return double(red) / std::max(1, image.width() * image.height());
}

} // namespace

TEST(ThumbnailerService, TheDesktopThumbnailerDrawsWhatQtCannot)
{
    ASSERT_FALSE(tumblerd().isEmpty()) << "tumbler is not installed";
    QTemporaryDir dir;
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    Tumbler tumbler(bus, dir.path() + "/cache");
    ASSERT_TRUE(waitUntil([&] { return owned(bus.connection(), ThumbnailerService::serviceName); }, 20000));

    const QString pdf = dir.path() + "/report.pdf";
    ASSERT_TRUE(writeRedPdf(pdf));
    FileThumbnails thumbnails(FileThumbnails::Options {
        .cacheRoot = dir.path() + "/cache/thumbnails", .bus = bus.connection(), .useService = true, .threads = 1 });
    int updates = 0;
    thumbnails.onUpdate = [&] { ++updates; };

    const QUrl url = QUrl::fromLocalFile(pdf);
    thumbnails.image(url, 96, 2);
    ASSERT_TRUE(waitUntil([&] { return thumbnails.isIdle(); }, 60000));
    ASSERT_TRUE(thumbnails.isCached(url, 96)) << "the service made no thumbnail";
    EXPECT_EQ(thumbnails.revision(), 1);
    EXPECT_TRUE(waitUntil([&] { return updates >= 1; }));
    const QImage picture = thumbnails.image(url, 96, 2).toImage();
    EXPECT_LE(std::max(picture.width(), picture.height()), 192);
    EXPECT_GT(redShare(picture), 0.3) << "the page is mostly red";
    saveArtefact(picture, "thumbnailer_service_pdf");

    // The service wrote it into the shared cache under the file's URI, for everyone.
    const QString entry = ThumbnailCache(dir.path() + "/cache/thumbnails")
                              .entryPath(ThumbnailCache::fileUri(pdf), ThumbnailCache::Flavor::large);
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_EQ(QImageReader(entry).read().text("Thumb::URI"), ThumbnailCache::fileUri(pdf));

    // A type the service does not draw fails without a request to it, and keeps its icon.
    const QString archive = dir.path() + "/bundle.tar";
    {
        QFile file(archive);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1024, '\0'));
    }
    const QUrl archiveUrl = QUrl::fromLocalFile(archive);
    thumbnails.image(archiveUrl, 96, 2);
    ASSERT_TRUE(waitUntil([&] { return thumbnails.isIdle(); }, 20000));
    EXPECT_TRUE(thumbnails.hasFailed(archiveUrl, 96));
    EXPECT_EQ(thumbnails.revision(), 1);
}

TEST(ThumbnailerService, WithoutAServiceEveryRequestFails)
{
    PrivateBus bus(false);
    ASSERT_TRUE(bus.isRunning());
    ThumbnailerService service(bus.connection());
    std::optional<bool> first, second;
    service.request(
        "file:///tmp/x.pdf", { "application/pdf" }, ThumbnailCache::Flavor::large, [&](bool ok) { first = ok; });
    service.request(
        "file:///tmp/y.pdf", { "application/pdf" }, ThumbnailCache::Flavor::large, [&](bool ok) { second = ok; });
    ASSERT_TRUE(waitUntil([&] { return first && second; }, 20000));
    EXPECT_FALSE(*first);
    EXPECT_FALSE(*second);
    EXPECT_EQ(service.state(), ThumbnailerService::State::unavailable);

    // Answers always come later, never inside the call.
    std::optional<bool> third;
    service.request(
        "file:///tmp/z.pdf", { "application/pdf" }, ThumbnailCache::Flavor::large, [&](bool ok) { third = ok; });
    EXPECT_FALSE(third.has_value());
    ASSERT_TRUE(waitUntil([&] { return third.has_value(); }));
    EXPECT_FALSE(*third);
}

TEST(ThumbnailerService, ChoosingTypeAndSize)
{
    const QSet<QString> supported { "application/pdf", "text/plain" };
    EXPECT_EQ(ThumbnailerService::supportedType({ "text/x-python3", "text/x-script", "text/plain" }, supported),
        "text/plain");
    EXPECT_FALSE(ThumbnailerService::supportedType({ "application/zip" }, supported).has_value());

    using Flavor = ThumbnailCache::Flavor;
    const QStringList all { "xx-large", "x-large", "large", "normal" };
    EXPECT_EQ(ThumbnailerService::flavorName(Flavor::large, all), "large");
    EXPECT_EQ(ThumbnailerService::flavorName(Flavor::xLarge, { "normal", "large" }), "large");
    EXPECT_EQ(ThumbnailerService::flavorName(Flavor::normal, { "large" }), "large");
    EXPECT_FALSE(ThumbnailerService::flavorName(Flavor::normal, {}).has_value());
}
