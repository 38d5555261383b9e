#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace nimbra::test {

// The real `nimbra` executable, started on the harness's X server with a private
// settings folder and the diagnostics log on. Stops it with SIGTERM when destroyed.
class NimbraProcess {
public:
    // `settingsJson` becomes the settings file when not empty; a JSON object that does not
    // mention "onboarding.seen" gets it as true. Without settings it is a first start.
    explicit NimbraProcess(const QByteArray& settingsJson = {});
    ~NimbraProcess();

    bool start(const QStringList& extraEnvironment = {});
    // Sends SIGTERM and waits; true when the process exited by itself with status 0.
    bool terminate(int timeoutMs = 5000);
    // Waits until the diagnostics log holds `needle`; true when it appeared in time.
    bool waitForLog(const QString& needle, int timeoutMs = 5000);
    QString log();
    QString configHome() const { return m_dir.path(); }
    QProcess& process() { return m_process; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_stderr;
};

} // namespace nimbra::test
