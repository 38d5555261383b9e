#include "support/nimbra_process.h"

#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>

namespace nimbra::test {

NimbraProcess::NimbraProcess(const QByteArray& settingsJson)
{
    if (!settingsJson.isEmpty()) {
        QByteArray json = settingsJson;
        // A profile written for a test is not a first start, unless it says so: onboarding
        // would take the focus from what the test does.
        QJsonDocument document = QJsonDocument::fromJson(settingsJson);
        if (document.isObject() && !document.object().contains("onboarding.seen")) {
            QJsonObject object = document.object();
            object.insert("onboarding.seen", true);
            json = QJsonDocument(object).toJson();
        }
        QDir(m_dir.path()).mkpath("nimbra");
        QFile file(m_dir.path() + "/nimbra/settings.json");
        if (file.open(QIODevice::WriteOnly))
            file.write(json);
    }
}

NimbraProcess::~NimbraProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool NimbraProcess::start(const QStringList& extraEnvironment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", m_dir.path());
    env.insert("NIMBRA_DEBUG", "1");
    env.remove("QT_QPA_PLATFORM");
    for (const QString& entry : extraEnvironment) {
        const qsizetype eq = entry.indexOf('=');
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(NIMBRA_BINARY_DIR) + "/src/app/nimbra", {});
    return m_process.waitForStarted(5000);
}

bool NimbraProcess::terminate(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(timeoutMs))
        return false;
    m_stderr += m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

bool NimbraProcess::waitForLog(const QString& needle, int timeoutMs)
{
    return waitUntil([&] { return log().contains(needle); }, timeoutMs);
}

QString NimbraProcess::log()
{
    m_stderr += m_process.readAllStandardError();
    return QString::fromUtf8(m_stderr);
}

} // namespace nimbra::test
