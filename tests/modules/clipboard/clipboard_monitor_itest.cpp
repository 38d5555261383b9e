#include "modules/clipboard/clipboard_monitor.h"

#include "support/peer.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;
using nimbra::test::pngBytes;
using nimbra::test::waitUntil;

namespace {

// Another X client owning the clipboard until it is stopped (by its PID, when this goes).
class ForeignOwner {
public:
    ForeignOwner(const QString& program, const QStringList& arguments)
        : peer(program, arguments)
    {
    }
    // xclip offering `bytes` as one target.
    static std::unique_ptr<ForeignOwner> xclip(const QByteArray& target, const QByteArray& bytes)
    {
        auto owner = std::make_unique<ForeignOwner>(
            "xclip", QStringList { "-quiet", "-selection", "clipboard", "-t", target, "-i" });
        owner->peer.process.write(bytes);
        owner->peer.process.closeWriteChannel();
        return owner;
    }
    // A Qt application offering several targets at once.
    static std::unique_ptr<ForeignOwner> offering(const QStringList& formats)
    {
        auto owner = std::make_unique<ForeignOwner>(NIMBRA_CLIPBOARD_OWNER, formats);
        owner->m_ready = owner->peer.said("owning");
        return owner;
    }
    // An X client answering oddly (tests/support/odd_owner_main.cpp), which tells what it is
    // asked for.
    static std::unique_ptr<ForeignOwner> odd(const QString& mode)
    {
        auto owner = std::make_unique<ForeignOwner>(NIMBRA_ODD_OWNER, QStringList { mode });
        owner->m_ready = owner->peer.said("owning");
        return owner;
    }
    bool isReady() const { return m_ready && peer.process.state() == QProcess::Running; }

    test::Peer peer;

private:
    bool m_ready = true;
};

// What another application reads from the clipboard as `target`; the event loop keeps running
// meanwhile, since this process may be the one serving it.
QByteArray readBack(const QByteArray& target)
{
    QProcess xclip;
    xclip.start("xclip", { "-o", "-selection", "clipboard", "-t", target });
    if (!waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 10000))
        return {};
    return xclip.readAllStandardOutput();
}

struct ClipboardOnX : ::testing::Test {
    ClipboardOnX() { monitor.start(0.05); }

    // Waits until the history holds `count` entries.
    bool entries(int count) const
    {
        return waitUntil([&] { return monitor.store().items().size() == count; }, 10000);
    }
    // Waits for the capture the change arms, whatever it finds.
    bool captured(int before, int timeoutMs = 10000) const
    {
        return waitUntil([&] { return monitor.capturesFinished() > before; }, timeoutMs);
    }

    ClipboardMonitor monitor;
};

} // namespace

// An X server has one clipboard: each case has a server (and harness) of its own.
NIMBRA_OWN_HARNESS(ClipboardOnX);

TEST_F(ClipboardOnX, TextAnImageAndFilesCopiedInAnotherApplicationEachBecomeOneEntry)
{
    auto text = ForeignOwner::xclip("UTF8_STRING", "gr\xc3\xbc\xc3\x9f dich\n");
    ASSERT_TRUE(entries(1));
    ASSERT_TRUE(monitor.store().items()[0].payload.asText());
    EXPECT_EQ(*monitor.store().items()[0].payload.asText(), QString::fromUtf8("grüß dich\n"));

    auto image = ForeignOwner::xclip("image/png", pngBytes(64, 48, Qt::darkCyan));
    ASSERT_TRUE(entries(2));
    const ClipboardItem picture = monitor.store().items()[0];
    ASSERT_TRUE(picture.payload.asImage());
    EXPECT_EQ(picture.payload.asImage()->pixelSize, QSizeF(64, 48));
    EXPECT_EQ(QImage::fromData(picture.payload.asImage()->png).pixelColor(10, 10), QColor(Qt::darkCyan));

    QTemporaryDir dir;
    const QUrl a = QUrl::fromLocalFile(dir.filePath("a.txt"));
    const QUrl b = QUrl::fromLocalFile(dir.filePath("b c.txt"));
    auto files = ForeignOwner::xclip("text/uri-list", a.toEncoded() + "\r\n" + b.toEncoded() + "\r\n");
    ASSERT_TRUE(entries(3));
    ASSERT_TRUE(monitor.store().items()[0].payload.asFiles());
    EXPECT_EQ(*monitor.store().items()[0].payload.asFiles(), (QList<QUrl> { a, b }));
}

TEST_F(ClipboardOnX, EntriesWrittenBackReadBackInAnotherApplication)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("notes.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QUrl url = QUrl::fromLocalFile(file.fileName());
    const QByteArray picture = pngBytes(20, 10, Qt::magenta);
    const auto add = [&](ClipboardItem::Payload payload) {
        ClipboardItem item { QUuid::createUuid(), std::move(payload), std::nullopt, QDateTime::currentDateTime(),
            false };
        monitor.store().insert(item);
        return item.id;
    };
    const QUuid text = add(ClipboardItem::Payload::text("written back"));
    const QUuid image = add(ClipboardItem::Payload::image(picture, QSizeF(20, 10)));
    const QUuid files = add(ClipboardItem::Payload::files({ url }));

    ASSERT_TRUE(monitor.copyToPasteboard(text));
    EXPECT_EQ(readBack("UTF8_STRING"), "written back");
    ASSERT_TRUE(monitor.copyToPasteboard(image));
    EXPECT_EQ(readBack("image/png"), picture);
    // Another format is made from the image only when asked for.
    EXPECT_EQ(QImage::fromData(readBack("image/bmp"), "BMP").size(), QSize(20, 10));
    ASSERT_TRUE(monitor.copyToPasteboard(files));
    EXPECT_EQ(readBack("text/uri-list").trimmed(), url.toEncoded());
    EXPECT_EQ(readBack("x-special/gnome-copied-files"), "copy\n" + url.toEncoded());

    // None of the writes came back as a capture.
    const int before = monitor.capturesFinished();
    auto next = ForeignOwner::xclip("UTF8_STRING", "from elsewhere");
    ASSERT_TRUE(captured(before));
    EXPECT_EQ(monitor.store().items().size(), 4);
    EXPECT_EQ(monitor.store().items()[0].preview(), "from elsewhere");
    EXPECT_EQ(monitor.capturesFinished(), before + 1);
}

TEST_F(ClipboardOnX, APasswordManagersSecretIsNeverRecorded)
{
    const int before = monitor.capturesFinished();
    auto secret = ForeignOwner::offering({ "text/plain=hunter2", "x-kde-passwordManagerHint=secret" });
    ASSERT_TRUE(secret->isReady());
    ASSERT_TRUE(captured(before));

    // The same helper without the hint is recorded, and it is the only entry: the secret before
    // it never was.
    auto plain = ForeignOwner::offering({ "text/plain=not a secret" });
    ASSERT_TRUE(plain->isReady());
    ASSERT_TRUE(waitUntil([&] { return !monitor.store().items().isEmpty(); }, 10000));
    ASSERT_EQ(monitor.store().items().size(), 1);
    EXPECT_EQ(monitor.store().items()[0].preview(), "not a secret");
}

TEST_F(ClipboardOnX, AnOwnerThatNeverAnswersIsAskedOnceAndHoldsUpNoLaterCopy)
{
    // It offers files, images and text, and answers nothing but the list of them.
    const int before = monitor.capturesFinished();
    auto silent = ForeignOwner::odd("silent");
    ASSERT_TRUE(silent->isReady());
    ASSERT_TRUE(captured(before, 30000));
    EXPECT_EQ(silent->peer.count("asked "), 2) << silent->peer.output.toStdString();
    EXPECT_TRUE(monitor.store().items().isEmpty());

    auto next = ForeignOwner::xclip("UTF8_STRING", "copied after");
    ASSERT_TRUE(entries(1));
    EXPECT_EQ(monitor.store().items()[0].preview(), "copied after");
}

TEST_F(ClipboardOnX, AHintThatAPasswordManagerAddsWhileItsTextIsReadStillKeepsTheSecretOut)
{
    // Asked for its text, it takes the clipboard again with the hint beside the text, then
    // answers with the secret.
    const int before = monitor.capturesFinished();
    auto secret = ForeignOwner::odd("late-hint");
    ASSERT_TRUE(secret->isReady());
    ASSERT_TRUE(secret->peer.said("asked UTF8_STRING", 10000));
    ASSERT_TRUE(captured(before));

    auto plain = ForeignOwner::xclip("UTF8_STRING", "not a secret");
    ASSERT_TRUE(waitUntil([&] { return !monitor.store().items().isEmpty(); }, 10000));
    ASSERT_EQ(monitor.store().items().size(), 1);
    EXPECT_EQ(monitor.store().items()[0].preview(), "not a secret");
}
