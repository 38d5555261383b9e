#include "platform/network/tls_trust.h"

#include "core/diagnostics.h"

#include <QFileInfo>
#include <QSslCertificate>

namespace nimbra {

QSslConfiguration tlsConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return configuration;
    const QList<QSslCertificate> extra = QSslCertificate::fromPath(file, QSsl::Pem);
    if (extra.isEmpty()) {
        Diagnostics::log(Diagnostics::Category::update, [&] { return "no certificates in " + file; });
        return configuration;
    }
    // Setting the list replaces Qt's on-demand loading of the system's authorities, so they
    // are listed too.
    QList<QSslCertificate> authorities = QSslConfiguration::systemCaCertificates();
    authorities += extra;
    configuration.setCaCertificates(authorities);
    return configuration;
}

} // namespace nimbra
