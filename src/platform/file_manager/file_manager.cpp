#include "platform/file_manager/file_manager.h"

#include "core/diagnostics.h"
#include "core/file_url.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace nimbra {

namespace {
const QString kPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString kInterface = QStringLiteral("org.freedesktop.FileManager1");
// Long enough for a file manager that the bus first has to start.
constexpr int kCallTimeoutMs = 20'000;
} // namespace

const QString FileManager::serviceName = QStringLiteral("org.freedesktop.FileManager1");

FileManager::FileManager(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
}

QUrl FileManager::parentFolder(const QUrl& file)
{
    const QString path = QDir::cleanPath(localPath(file));
    return QUrl::fromLocalFile(path == QLatin1String("/") ? path : QFileInfo(path).path());
}

void FileManager::showItems(const QList<QUrl>& files)
{
    if (files.isEmpty())
        return;
    if (!m_bus.isConnected()) {
        openFolders(files);
        return;
    }
    QStringList uris;
    for (const QUrl& file : files)
        uris << QString::fromUtf8(file.toEncoded());
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, kPath, kInterface, QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    QPointer<FileManager> self(this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [self, files](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (!self || !finished->isError())
            return;
        const QDBusError error = finished->error();
        Diagnostics::log(Diagnostics::Category::shelf,
            [&] { return "file manager did not show the file: " + error.name() + " " + error.message(); });
        // A service that is there but slow may still show it; only a missing or refusing one
        // leaves the folder to be opened.
        if (error.type() != QDBusError::NoReply && error.type() != QDBusError::Timeout)
            self->openFolders(files);
    });
}

void FileManager::openFolders(const QList<QUrl>& files)
{
    QList<QUrl> folders;
    for (const QUrl& file : files) {
        const QUrl folder = parentFolder(file);
        if (!folders.contains(folder))
            folders << folder;
    }
    for (const QUrl& folder : folders) {
        // Qt starts the desktop's opener with the URL as one argument of its own.
        if (!QDesktopServices::openUrl(folder))
            Diagnostics::log(Diagnostics::Category::shelf, [&] { return "could not open " + folder.toLocalFile(); });
    }
}

} // namespace nimbra
