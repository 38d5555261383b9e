#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <map>

namespace nimbra::test {

// A folder whose files can be looked at but whose contents never come, as on a network folder
// that stopped answering: a FUSE file system served by a process of the test's own
// (hanging_folder_main.cpp). Opening and stat work; every read waits until release() (and
// fails once this object is gone). Mounting needs root; isMounted() tells, so that a case can
// skip without it.
class HangingFolder {
public:
    // `files`: name and contents of each file at the top.
    explicit HangingFolder(const std::map<QString, QByteArray>& files);
    ~HangingFolder();
    HangingFolder(const HangingFolder&) = delete;
    HangingFolder& operator=(const HangingFolder&) = delete;

    bool isMounted() const { return m_mounted; }
    // Why mounting failed.
    const QString& error() const { return m_error; }
    QString path() const;
    QString path(const QString& name) const { return path() + u'/' + name; }
    // Reads asked for so far, answered or not.
    int readsAsked();
    // Answers every waiting read, and every later one, with the contents. Any thread may call it.
    void release();

private:
    void take(const QByteArray& output);

    QTemporaryDir m_root;
    QProcess m_server;
    bool m_mounted = false;
    QString m_error;
    int m_reads = 0;
    qint64 m_serverId = 0;
    QByteArray m_pending;
};

} // namespace nimbra::test
