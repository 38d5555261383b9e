#include "support/hanging_folder.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <sys/mount.h>

namespace nimbra::test {

HangingFolder::HangingFolder(const std::map<QString, QByteArray>& files)
{
    QDir().mkpath(m_root.filePath("source"));
    QDir().mkpath(path());
    for (const auto& [name, contents] : files) {
        QFile file(m_root.filePath("source/" + name));
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()) {
            m_error = "cannot write " + file.fileName();
            return;
        }
    }
    m_server.start(NIMBRA_HANGING_FOLDER, { path(), m_root.filePath("source") });
    // Its first line says whether it mounted; the limit only keeps a broken one from hanging us.
    while (!m_mounted && m_error.isEmpty()) {
        if (!m_server.waitForReadyRead(30'000)) {
            m_error = "the folder's server did not start: " + m_server.errorString();
            break;
        }
        take(m_server.readAllStandardOutput());
    }
    m_serverId = m_server.processId();
}

HangingFolder::~HangingFolder()
{
    if (m_server.state() != QProcess::NotRunning) {
        // End of input: it ends the connection (every read still waiting fails) and unmounts.
        m_server.closeWriteChannel();
        if (!m_server.waitForFinished(30'000))
            m_server.kill();
    }
    if (m_mounted)
        ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

QString HangingFolder::path() const
{
    return m_root.filePath("folder");
}

int HangingFolder::readsAsked()
{
    take(m_server.readAllStandardOutput());
    return m_reads;
}

void HangingFolder::release()
{
    if (m_serverId > 0)
        ::kill(pid_t(m_serverId), SIGUSR1);
}

void HangingFolder::take(const QByteArray& output)
{
    m_pending += output;
    for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1)) {
        const QByteArray line = m_pending.left(end);
        if (line == "ready")
            m_mounted = true;
        else if (line == "read")
            ++m_reads;
        else if (line.startsWith("error: "))
            m_error = QString::fromLocal8Bit(line.mid(7));
    }
}

} // namespace nimbra::test
