#pragma once

#include <QSslConfiguration>

namespace nimbra {

// The TLS settings for requests to outside hosts: Qt's own, which trust the system's
// certificate authorities, plus those in the file $SSL_CERT_FILE names. That variable is how
// OpenSSL programs are told to trust a private authority (a company proxy, a test server);
// Qt's own loading does not read it.
QSslConfiguration tlsConfiguration();

} // namespace nimbra
