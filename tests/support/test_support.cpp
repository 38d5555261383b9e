#include "support/test_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QTest>

namespace nimbra::test {

QString artefactDir()
{
    QString dir = qEnvironmentVariable("NIMBRA_ARTEFACTS");
    if (dir.isEmpty())
        dir = QStringLiteral(NIMBRA_BINARY_DIR) + "/artefacts";
    QDir().mkpath(dir);
    return dir;
}

QString saveArtefact(const QImage& image, const QString& name)
{
    const QString path = artefactDir() + "/" + name + ".png";
    image.save(path);
    return path;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

QString sourcePath(const QString& relative)
{
    return QStringLiteral(NIMBRA_SOURCE_DIR) + "/" + relative;
}

} // namespace nimbra::test
