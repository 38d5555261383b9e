#pragma once

#include <QString>
#include <QUrl>

namespace nimbra {

// The file-system path of a file URL. "localhost" names this machine, so
// "file://localhost/a" is the file /a; any other host keeps the form QUrl gives it.
inline QString localPath(const QUrl& url)
{
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        return url.toLocalFile();
    QUrl local = url;
    local.setHost(QString());
    return local.toLocalFile();
}

// Whether the file URL's path names a file this program can reach by name: its bytes, once
// percent-decoded, are UTF-8, as every path here is read and written. A name in another
// encoding (a byte 0xFF, say) would turn into another name on the way and miss its file.
inline bool hasReachablePath(const QUrl& url)
{
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return !bytes.isEmpty() && QByteArrayView(bytes).isValidUtf8();
}

} // namespace nimbra
