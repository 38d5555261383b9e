#include "support/nimbra_process.h"

#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <csignal>

namespace nimbra::test {

NimbraProcess::NimbraProcess(const QByteArray& settingsJson)
{
    if (!settingsJson.isEmpty()) {
        QDir(dir_.path()).mkpath("nimbra");
        QFile file(dir_.path() + "/nimbra/settings.json");
        if (file.open(QIODevice::WriteOnly))
            file.write(settingsJson);
    }
}

NimbraProcess::~NimbraProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

bool NimbraProcess::start(const QStringList& extraEnvironment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir_.path());
    env.insert("NIMBRA_DEBUG", "1");
    env.remove("QT_QPA_PLATFORM");
    for (const QString& entry : extraEnvironment) {
        const qsizetype eq = entry.indexOf('=');
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral(NIMBRA_BINARY_DIR) + "/src/app/nimbra", {});
    return process_.waitForStarted(5000);
}

bool NimbraProcess::terminate(int timeoutMs)
{
    if (process_.state() == QProcess::NotRunning)
        return false;
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(timeoutMs))
        return false;
    stderr_ += process_.readAllStandardError();
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

bool NimbraProcess::waitForLog(const QString& needle, int timeoutMs)
{
    return waitUntil([&] { return log().contains(needle); }, timeoutMs);
}

QString NimbraProcess::log()
{
    stderr_ += process_.readAllStandardError();
    return QString::fromUtf8(stderr_);
}

} // namespace nimbra::test
