#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QUrl>

// Shows files in the desktop's file manager: selected in their folder through the
// org.freedesktop.FileManager1 service (Nautilus, Nemo, Caja, Dolphin, Thunar...), or, without
// that service, by opening the folder that holds them. Nothing blocks: the call is asynchronous
// and no name passes through a shell.
namespace nimbra {

class FileManager : public QObject {
    Q_OBJECT
public:
    static const QString serviceName;

    explicit FileManager(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // Shows `files` (local file URLs) selected. Files in several folders open each folder.
    void showItems(const QList<QUrl>& files);

    // The folder that holds a file ("/" for "/").
    static QUrl parentFolder(const QUrl& file);

private:
    void openFolders(const QList<QUrl>& files);

    QDBusConnection m_bus;
};

} // namespace nimbra
