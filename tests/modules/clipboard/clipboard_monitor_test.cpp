#include "modules/clipboard/clipboard_monitor.h"

#include "core/diagnostics.h"
#include "support/captured_stderr.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

using namespace nimbra;
using nimbra::Diagnostics;
using nimbra::test::pngBytes;
using nimbra::test::waitUntil;

namespace {

// Another application copying: the offscreen clipboard lives in this process.
void copy(const QList<std::pair<QString, QByteArray>>& formats)
{
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : formats)
        data->setData(format, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
}

void copyText(const QString& text)
{
    copy({ { "text/plain", text.toUtf8() } });
}

QStringList previews(const ClipboardStore& store)
{
    QStringList list;
    for (const ClipboardItem& item : store.items())
        list << item.preview();
    return list;
}

// The diagnostics log written while this lives. The log is read as on when first used, so
// this turns it on for the test's process (ctest runs each case in a process of its own).
class WrittenLog {
public:
    WrittenLog() { qputenv("NIMBRA_DEBUG", "1"); }
    bool isOn() const { return Diagnostics::isEnabled(); }
    QString text() const { return QString::fromUtf8(m_stderr.text()); }

private:
    nimbra::test::CapturedStderr m_stderr;
};

// Work that holds threads of a pool until it is let go (or the test ends).
class BlockedPool {
public:
    explicit BlockedPool(QThreadPool& pool)
    {
        for (int i = 0; i < pool.maxThreadCount(); ++i)
            pool.start([gate = m_gate] { gate->acquire(); });
    }
    ~BlockedPool() { release(); }
    void release() { m_gate->release(1000); }

private:
    std::shared_ptr<QSemaphore> m_gate = std::make_shared<QSemaphore>();
};

struct Monitor : ::testing::Test {
    Monitor()
    {
        QGuiApplication::clipboard()->clear();
        monitor.onCapture = [this] { events << "capture"; };
        monitor.onChange = [this] { events << "change"; };
    }
    // Waits for the capture the last copy armed to finish, kept or not.
    bool settle()
    {
        const int target = monitor.capturesFinished() + 1;
        return waitUntil([&] { return monitor.capturesFinished() >= target; });
    }

    ClipboardMonitor monitor;
    QStringList events;
};

} // namespace

TEST(ClipboardCaptureRules, FilesThenImagesThenTextAndPrivateStatesAreBlocked)
{
    const QList<QByteArray> everything { "TARGETS", "STRING", "image/bmp", "UTF8_STRING", "image/png", "text/uri-list",
        "x-special/gnome-copied-files", "text/plain;charset=utf-8" };
    EXPECT_EQ(ClipboardMonitor::candidates(everything, true),
        (QList<QByteArray> { "text/uri-list", "x-special/gnome-copied-files", "image/png", "image/bmp",
            "text/plain;charset=utf-8", "UTF8_STRING", "STRING" }));
    // Without images, an image offer is never read.
    EXPECT_EQ(ClipboardMonitor::candidates({ "image/png", "UTF8_STRING" }, false), QList<QByteArray> { "UTF8_STRING" });
    EXPECT_EQ(ClipboardMonitor::candidates({ "image/png", "UTF8_STRING" }, true, { "image/png" }),
        QList<QByteArray> { "UTF8_STRING" });
    // Targets that are no data of their own are not read at all.
    EXPECT_TRUE(
        ClipboardMonitor::candidates({ "TARGETS", "TIMESTAMP", "SAVE_TARGETS", "image/svg+xml" }, true).isEmpty());

    EXPECT_TRUE(ClipboardMonitor::isBlocked({ "UTF8_STRING", "x-kde-passwordManagerHint" }));
    EXPECT_TRUE(ClipboardMonitor::isBlocked({ "org.nspasteboard.ConcealedType", "text/plain" }));
    EXPECT_TRUE(ClipboardMonitor::isBlocked({ "Pasteboard generator type" }));
    EXPECT_FALSE(ClipboardMonitor::isBlocked({ "UTF8_STRING", "text/plain", "x-kde-passwordManagerHintx" }));
}

TEST(ClipboardCaptureRules, OnlyLocalFilesCountAndTextKeepsItsEncoding)
{
    const QList<QUrl> files = ClipboardMonitor::localFiles("text/uri-list",
        "# a comment\r\nfile:///home/me/a%20b.txt\r\nhttps://example.org/x\r\n\r\nfile://localhost/etc/hosts\r\n");
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].toLocalFile(), "/home/me/a b.txt");
    EXPECT_EQ(files[1].path(), "/etc/hosts");
    // The file manager's list starts with what to do with the files.
    EXPECT_EQ(ClipboardMonitor::localFiles("x-special/gnome-copied-files", "copy\nfile:///tmp/x\nfile:///tmp/y"),
        (QList<QUrl> { QUrl("file:///tmp/x"), QUrl("file:///tmp/y") }));
    EXPECT_TRUE(ClipboardMonitor::localFiles("text/uri-list", "https://example.org/\nmailto:a@b.c").isEmpty());
    EXPECT_TRUE(ClipboardMonitor::localFiles("x-special/gnome-copied-files", "copy").isEmpty());

    EXPECT_EQ(ClipboardMonitor::text("UTF8_STRING", "gr\xc3\xbc\xc3\x9f"), QString::fromUtf8("grüß"));
    EXPECT_EQ(ClipboardMonitor::text("STRING", "gr\xfc\xdf"), QString::fromUtf8("grüß"));
}

TEST(ClipboardCaptureRules, ImagesAreReencodedAsPngWithASquareThumbnail)
{
    QImage wide(400, 100, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    wide.save(&buffer, "BMP");
    const auto encoded = ClipboardMonitor::encodeImage(bmp);
    ASSERT_TRUE(encoded);
    EXPECT_TRUE(encoded->png.startsWith("\x89PNG"));
    EXPECT_EQ(encoded->pixelSize, QSize(400, 100));
    EXPECT_EQ(encoded->thumbnail.size(), QSize(ClipboardMonitor::thumbnailSide, ClipboardMonitor::thumbnailSide));
    EXPECT_EQ(encoded->thumbnail.pixelColor(64, 64), QColor(Qt::blue));
    EXPECT_FALSE(ClipboardMonitor::encodeImage("not an image at all"));
}

TEST_F(Monitor, WhatIsThereAtStartIsNotCapturedTheNextCopyIs)
{
    copyText("before");
    monitor.start(0.01);
    copyText("after");
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), QStringList { "after" });
    EXPECT_EQ(events, (QStringList { "capture", "change" }));
    EXPECT_FALSE(monitor.isCaptureArmed()) << "an idle clipboard arms nothing";
}

TEST_F(Monitor, ABurstOfChangesIsOneCapture)
{
    monitor.start(0.05);
    const quint64 before = monitor.changeCount();
    copyText("one");
    copyText("two");
    copyText("three");
    EXPECT_EQ(monitor.changeCount(), before + 3);
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), QStringList { "three" });
    EXPECT_EQ(monitor.capturesFinished(), 1);
}

TEST_F(Monitor, TheSameTextTwiceIsOneEntryMovedToTheFront)
{
    monitor.start(0.01);
    copyText("same");
    ASSERT_TRUE(settle());
    copyText("other");
    ASSERT_TRUE(settle());
    copyText("same");
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), (QStringList { "same", "other" }));
    EXPECT_EQ(events.count("capture"), 3) << "a repeat still counts as a capture";
}

TEST_F(Monitor, BlankTextIsSkippedSurroundingBlanksAreKept)
{
    monitor.start(0.01);
    copyText(" \n\t ");
    ASSERT_TRUE(settle());
    EXPECT_TRUE(monitor.store().items().isEmpty());
    copyText("  padded  ");
    ASSERT_TRUE(settle());
    ASSERT_EQ(monitor.store().items().size(), 1);
    EXPECT_EQ(*monitor.store().items().first().payload.asText(), "  padded  ");
}

TEST_F(Monitor, APasswordManagersStateIsNeverRecorded)
{
    monitor.start(0.01);
    copy({ { "text/plain", "hunter2" }, { "x-kde-passwordManagerHint", "secret" } });
    ASSERT_TRUE(settle());
    copy({ { "text/plain", "also secret" }, { "org.nspasteboard.ConcealedType", "" } });
    ASSERT_TRUE(settle());
    EXPECT_TRUE(monitor.store().items().isEmpty());
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(Monitor, FilesWinOverAnImageAndTextAndLinksFallBackToText)
{
    QTemporaryDir dir;
    const QUrl file = QUrl::fromLocalFile(dir.filePath("report.pdf"));
    monitor.start(0.01);
    copy({ { "text/uri-list", file.toEncoded() + "\r\n" }, { "image/png", pngBytes(4, 4, Qt::red) },
        { "text/plain", "report" } });
    ASSERT_TRUE(settle());
    ASSERT_EQ(monitor.store().items().size(), 1);
    ASSERT_TRUE(monitor.store().items().first().payload.asFiles());
    EXPECT_EQ(*monitor.store().items().first().payload.asFiles(), QList<QUrl> { file });

    // A browser's link is a URI list of no local file: the text beside it is what was copied.
    copy({ { "text/uri-list", "https://example.org/\r\n" }, { "text/plain", "https://example.org/" } });
    ASSERT_TRUE(settle());
    ASSERT_EQ(monitor.store().items().size(), 2);
    EXPECT_EQ(monitor.store().items().first().preview(), "https://example.org/");
}

TEST_F(Monitor, ImagesFollowTheKeepImagesSwitch)
{
    monitor.start(0.01);
    copy({ { "image/png", pngBytes(30, 20, Qt::red) }, { "text/plain", "caption" } });
    ASSERT_TRUE(settle());
    ASSERT_EQ(monitor.store().items().size(), 1);
    const ClipboardItem image = monitor.store().items().first();
    ASSERT_TRUE(image.payload.asImage());
    EXPECT_EQ(image.payload.asImage()->pixelSize, QSizeF(30, 20));
    EXPECT_FALSE(monitor.thumbnail(image.id).isNull());

    monitor.keepsImages = false;
    copy({ { "image/png", pngBytes(8, 8, Qt::green) } });
    ASSERT_TRUE(settle());
    EXPECT_EQ(monitor.store().items().size(), 1) << "an image alone gives nothing";
    copy({ { "image/png", pngBytes(8, 8, Qt::green) }, { "text/plain", "its caption" } });
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()).first(), "its caption");
    EXPECT_TRUE(monitor.store().items()[1].payload.asImage()) << "images already kept stay";

    // Bytes that claim to be an image but are none: the text is taken instead.
    monitor.keepsImages = true;
    copy({ { "image/png", "garbage" }, { "text/plain", "the words" } });
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()).first(), "the words");
}

TEST_F(Monitor, ImagesAreCapturedWhileQtsGlobalPoolIsBusy)
{
    // A painting thread or a stuck file read holds every thread of Qt's pool.
    BlockedPool busy(*QThreadPool::globalInstance());
    monitor.start(0.01);
    copy({ { "image/png", pngBytes(30, 20, Qt::red) } });
    ASSERT_TRUE(settle());
    ASSERT_EQ(monitor.store().items().size(), 1);
    EXPECT_TRUE(monitor.store().items().first().payload.asImage());
}

TEST_F(Monitor, AnImageThatTakesTooLongIsGivenUpAndTheCapturesAfterItGoOn)
{
    auto stuck = std::make_unique<BlockedPool>(monitor.imagePool());
    monitor.imageTimeLimitMs = 1;
    monitor.start(0.01);
    copy({ { "image/png", pngBytes(30, 20, Qt::red) }, { "text/plain", "the red one" } });
    ASSERT_TRUE(settle());
    EXPECT_TRUE(monitor.store().items().isEmpty()) << "given up, and not replaced by its text";
    copyText("later words");
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), QStringList { "later words" });

    // Once the pool moves again, images are captured again; the one given up stays out.
    stuck->release();
    monitor.imageTimeLimitMs = 60000;
    copy({ { "image/png", pngBytes(8, 8, Qt::green) } });
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), (QStringList { QStringLiteral("Image — 8×8"), "later words" }));
    stuck.reset();
    ASSERT_TRUE(monitor.imagePool().waitForDone(15000));
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.store().items().size(), 2);
}

TEST(ClipboardMonitorQuit, AStuckImageIsNotWaitedFor)
{
    QGuiApplication::clipboard()->clear();
    std::unique_ptr<BlockedPool> stuck;
    {
        ClipboardMonitor monitor;
        stuck = std::make_unique<BlockedPool>(monitor.imagePool());
        monitor.start(0.01);
        copy({ { "image/png", pngBytes(30, 20, Qt::red) } });
        ASSERT_TRUE(waitUntil([&] { return monitor.isCapturing(); }));
        ASSERT_TRUE(waitUntil([&] { return monitor.imagePool().activeThreadCount() > 0; }));
    } // Had the monitor waited for its image, this would never be reached.
    stuck->release();
}

TEST_F(Monitor, AnImageAbove32MiBIsSkippedAndNotReplacedByItsText)
{
    // Noise that no encoder can shrink: its PNG is larger than its 3400 × 3400 × 3 bytes.
    QImage noise(3400, 3400, QImage::Format_RGB888);
    for (int y = 0; y < noise.height(); ++y)
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), 3400 * 3 / 4);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(noise.save(&buffer, "BMP"));
    const WrittenLog log;
    monitor.start(0.01);
    copy({ { "image/bmp", bmp }, { "text/plain", "its caption" } });
    ASSERT_TRUE(settle());
    EXPECT_TRUE(monitor.store().items().isEmpty());
    EXPECT_TRUE(events.isEmpty());
    if (log.isOn()) {
        EXPECT_TRUE(log.text().contains("clipboa skipped a 33MB image\n")) << log.text().toStdString();
    }
}

TEST_F(Monitor, ACopyLargerThanTheWholeHistoryIsRefusedAndTheHistoryStays)
{
    monitor.setLimits({ 100, 1024 * 1024 });
    const WrittenLog log;
    monitor.start(0.01);
    copyText("older");
    ASSERT_TRUE(settle());
    copyText("newer");
    ASSERT_TRUE(settle());
    events.clear();
    copyText(QString(2 * 1024 * 1024, QLatin1Char('x')));
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), (QStringList { "newer", "older" }));
    EXPECT_TRUE(events.isEmpty());
    if (log.isOn()) {
        EXPECT_EQ(log.text().count("skipped a copy larger than the history's 1MB\n"), 1) << log.text().toStdString();
    }
}

TEST_F(Monitor, OwnWritesAreNotRecordedAgain)
{
    monitor.start(0.01);
    copyText("older");
    ASSERT_TRUE(settle());
    copyText("newer");
    ASSERT_TRUE(settle());
    const QUuid older = monitor.store().items()[1].id;
    ASSERT_TRUE(monitor.copyToPasteboard(older));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "older");
    // Had the write been captured, "older" would have moved to the front.
    copyText("third");
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), (QStringList { "third", "newer", "older" }));
}

TEST_F(Monitor, WritingBackRefusesWhatCannotBePasted)
{
    QTemporaryDir dir;
    QFile kept(dir.filePath("kept.txt"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    const QUrl keptUrl = QUrl::fromLocalFile(kept.fileName());
    const QUrl goneUrl = QUrl::fromLocalFile(dir.filePath("gone.txt"));
    auto add = [&](ClipboardItem::Payload payload) {
        ClipboardItem item { QUuid::createUuid(), std::move(payload), std::nullopt, QDateTime::currentDateTime(),
            false };
        monitor.store().insert(item);
        return item.id;
    };
    const QUuid gone = add(ClipboardItem::Payload::files({ goneUrl }));
    const QUuid broken = add(ClipboardItem::Payload::image("\x89PNG but not really", QSizeF(3, 3)));
    const QUuid mixed = add(ClipboardItem::Payload::files({ goneUrl, keptUrl }));
    const QUuid picture = add(ClipboardItem::Payload::image(pngBytes(5, 6, Qt::red), QSizeF(5, 6)));

    copyText("untouched");
    EXPECT_FALSE(monitor.copyToPasteboard(QUuid::createUuid()));
    EXPECT_FALSE(monitor.copyToPasteboard(gone));
    EXPECT_FALSE(monitor.copyToPasteboard(broken));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "untouched") << "a refused write leaves the clipboard alone";

    // Files still there go back as a URI list and as the file manager's list.
    ASSERT_TRUE(monitor.copyToPasteboard(mixed));
    const QMimeData* files = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(files->urls(), QList<QUrl> { keptUrl });
    EXPECT_EQ(files->data("x-special/gnome-copied-files"), "copy\n" + keptUrl.toEncoded());

    // An image goes back as its PNG, and as an image for those who want another format.
    ASSERT_TRUE(monitor.copyToPasteboard(picture));
    const QMimeData* image = QGuiApplication::clipboard()->mimeData();
    EXPECT_TRUE(image->hasImage());
    EXPECT_EQ(image->data("image/png"), pngBytes(5, 6, Qt::red));
    EXPECT_EQ(qvariant_cast<QImage>(image->imageData()).size(), QSize(5, 6));
}

TEST_F(Monitor, LimitsTrimAtOnceAndEqualLimitsDoNothing)
{
    for (int i = 0; i < 4; ++i) {
        ClipboardItem item { QUuid::createUuid(), ClipboardItem::Payload::text(QString::number(i)), std::nullopt,
            QDateTime::currentDateTime().addSecs(i), i == 0 };
        monitor.store().insert(item);
    }
    monitor.setLimits(monitor.store().limits());
    EXPECT_TRUE(events.isEmpty());
    monitor.setLimits({ 2, 201326592 });
    EXPECT_EQ(events, QStringList { "change" });
    // The pinned oldest stays; the other old ones go.
    EXPECT_EQ(previews(monitor.store()), (QStringList { "3", "0" }));
}

TEST_F(Monitor, StoppingDropsACaptureOnItsWayAndStartingTwiceKeepsTheFirstInterval)
{
    monitor.start(0.01);
    monitor.start(60);
    copyText("kept");
    ASSERT_TRUE(settle()) << "the second start did not change the interval";
    copyText("dropped");
    monitor.stop();
    EXPECT_FALSE(monitor.isCaptureArmed());
    monitor.start(0.01);
    copyText("after");
    ASSERT_TRUE(settle());
    EXPECT_EQ(previews(monitor.store()), (QStringList { "after", "kept" }));
}
