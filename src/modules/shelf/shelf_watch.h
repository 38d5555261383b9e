#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace nimbra {

// Tells when files on the shelf change, move away or are deleted, from the kernel's file
// notifications: nothing runs while the files stay as they are. A file being written changes
// many times in a row; its changes are told once, after a short quiet spell.
class ShelfWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int settleMs = 250;

    explicit ShelfWatch(QObject* parent = nullptr);

    // Watches exactly these paths from now on (paths that are gone are skipped).
    void watch(const QStringList& paths);
    QStringList watched() const;

    // The paths that changed since the last call.
    std::function<void(const QStringList& paths)> onChange;

private:
    void changed(const QString& path);

    QFileSystemWatcher m_watcher;
    QSet<QString> m_changed;
    QTimer m_settle;
};

} // namespace nimbra
