#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <optional>

namespace nimbra::test {

// An HTTPS server of a test's own on 127.0.0.1, with a self-signed certificate for
// "localhost" made for it (openssl) that the test trusts through SSL_CERT_FILE. It serves what
// the test puts at a path, with the status the test gives; /stall never answers. Stopped, by
// its PID, when the object goes.
class HttpsFeed {
public:
    HttpsFeed();
    ~HttpsFeed();
    bool isRunning() const { return m_port > 0; }

    // "localhost:<port>", and the address of a path on it.
    QString host() const;
    QUrl url(const QString& path) const;
    // The certificate's PEM file.
    QString certificate() const { return m_dir.filePath("certificate.pem"); }

    void serve(const QString& path, const QByteArray& body, int status = 200);
    // How many requests for `path` arrived.
    int requests(const QString& path) const;
    // The bytes the last answer to /endless sent before it stopped; none while it goes on.
    std::optional<qint64> endlessSent() const;

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    int m_port = 0;
};

// Sets an environment variable for the lifetime of this object, then puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_previous;
};

} // namespace nimbra::test
