#include "support/https_feed.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace nimbra::test {

HttpsFeed::HttpsFeed()
{
    QDir().mkpath(m_dir.filePath("root"));
    QProcess openssl;
    openssl.start("openssl",
        { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost", "-addext",
            "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", m_dir.filePath("key.pem"), "-out", certificate() });
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        return;
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(qEnvironmentVariable("NIMBRA_PYTHON", "/usr/bin/python3"),
        { sourcePath("tests/support/https_feed.py"), QFileInfo(m_dir.filePath("root")).canonicalFilePath(),
            certificate(), m_dir.filePath("key.pem") });
    m_port = firstLine(m_server, 15000).toInt();
}

HttpsFeed::~HttpsFeed()
{
    stopProcess(m_server);
}

QString HttpsFeed::host() const
{
    return QStringLiteral("localhost:%1").arg(m_port);
}

QUrl HttpsFeed::url(const QString& path) const
{
    return QUrl(QStringLiteral("https://") + host() + path);
}

void HttpsFeed::serve(const QString& path, const QByteArray& body, int status)
{
    const QString file = m_dir.filePath("root" + path);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(body);
    QFile statusFile(file + ".status");
    if (statusFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        statusFile.write(QByteArray::number(status));
}

int HttpsFeed::requests(const QString& path) const
{
    QFile log(m_dir.filePath("root/requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return int(log.readAll().split('\n').count(path.toUtf8()));
}

std::optional<qint64> HttpsFeed::endlessSent() const
{
    QFile log(m_dir.filePath("root/endless.log"));
    if (!log.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    bool ok = false;
    const qint64 sent = lines.last().toLongLong(&ok);
    return ok ? std::optional<qint64>(sent) : std::nullopt;
}

ScopedEnvironment::ScopedEnvironment(const char* name, const QByteArray& value)
    : m_name(name)
    , m_wasSet(qEnvironmentVariableIsSet(name))
    , m_previous(qgetenv(name))
{
    qputenv(name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (m_wasSet)
        qputenv(m_name, m_previous);
    else
        qunsetenv(m_name);
}

} // namespace nimbra::test
