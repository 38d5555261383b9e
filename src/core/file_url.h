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

} // namespace nimbra
