#include "platform/file_manager/file_manager.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QUuid>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// Stands in for a file manager on the bus and writes down what it was asked to show.
class RecordingFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;
    QStringList startupIds;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        shown << uris;
        startupIds << startupId;
    }
    void ShowFolders(const QStringList&, const QString&) { }
};

// Takes the folders that Qt would hand to the desktop's opener.
class OpenedFolders : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
    OpenedFolders() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenedFolders() override { QDesktopServices::unsetUrlHandler("file"); }
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

TEST(FileManager, AsksTheFileManagerServiceToShowTheFileSelected)
{
    PrivateBus bus(false);
    ASSERT_TRUE(bus.isRunning());
    // The service is another connection on the bus, as a real file manager would be.
    const QString serviceConnection = "file-manager-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDBusConnection service = QDBusConnection::connectToBus(bus.address(), serviceConnection);
    RecordingFileManager recorder;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &recorder, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(FileManager::serviceName));
    OpenedFolders opened;

    FileManager manager(bus.connection());
    const QUrl file = QUrl::fromLocalFile("/tmp/Holiday photos/été #2.jpg");
    manager.showItems({ file });
    ASSERT_TRUE(waitUntil([&] { return recorder.shown.size() == 1; }));
    EXPECT_EQ(recorder.shown.at(0), QStringList { QString::fromUtf8(file.toEncoded()) });
    EXPECT_EQ(QUrl(recorder.shown.at(0).at(0)).toLocalFile(), file.toLocalFile());

    // A second call goes the same way; by the time it arrives the first answer is in, and no
    // folder was opened for it.
    manager.showItems({ QUrl::fromLocalFile("/tmp/b.txt") });
    ASSERT_TRUE(waitUntil([&] { return recorder.shown.size() == 2; }));
    EXPECT_TRUE(opened.urls.isEmpty());
    QDBusConnection::disconnectFromBus(serviceConnection);
}

TEST(FileManager, WithoutTheServiceTheFolderOpens)
{
    PrivateBus bus(false);
    ASSERT_TRUE(bus.isRunning());
    OpenedFolders opened;
    FileManager manager(bus.connection());
    manager.showItems({ QUrl::fromLocalFile("/tmp/reports/q3 (final).pdf"), QUrl::fromLocalFile("/tmp/reports/a.txt"),
        QUrl::fromLocalFile("/tmp/other/b.txt") });
    ASSERT_TRUE(waitUntil([&] { return opened.urls.size() == 2; }));
    EXPECT_EQ(opened.urls.at(0), QUrl::fromLocalFile("/tmp/reports"));
    EXPECT_EQ(opened.urls.at(1), QUrl::fromLocalFile("/tmp/other"));

    // No bus at all: the folder opens at once.
    FileManager offline(QDBusConnection("no-such-connection"));
    offline.showItems({ QUrl::fromLocalFile("/srv/x") });
    EXPECT_EQ(opened.urls.size(), 3);
    EXPECT_EQ(opened.urls.at(2), QUrl::fromLocalFile("/srv"));
}

TEST(FileManager, ParentFolders)
{
    EXPECT_EQ(FileManager::parentFolder(QUrl::fromLocalFile("/a/b/c.txt")), QUrl::fromLocalFile("/a/b"));
    EXPECT_EQ(FileManager::parentFolder(QUrl::fromLocalFile("/a/b/")), QUrl::fromLocalFile("/a"));
    EXPECT_EQ(FileManager::parentFolder(QUrl::fromLocalFile("/a")), QUrl::fromLocalFile("/"));
    EXPECT_EQ(FileManager::parentFolder(QUrl::fromLocalFile("/")), QUrl::fromLocalFile("/"));
    EXPECT_EQ(FileManager::parentFolder(QUrl("file://localhost/srv/x")), QUrl::fromLocalFile("/srv"));
}

#include "file_manager_itest.moc"
