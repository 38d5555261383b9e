#include "support/test_support.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

QList<QMessageBox*> shownAlerts()
{
    QList<QMessageBox*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->objectName() == QStringLiteral("NimbraAlert") && box->isVisible())
            shown.append(box);
    }
    return shown;
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

QByteArray pngBytes(int width, int height, const QColor& colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString sourcePath(const QString& relative)
{
    return QStringLiteral(NIMBRA_SOURCE_DIR) + "/" + relative;
}

HarnessLock::HarnessLock(const QString& name)
{
    const QString folder = qEnvironmentVariable("NIMBRA_HARNESS_ROOT", QDir::tempPath());
    m_fd = ::open(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), O_RDWR | O_CREAT, 0600);
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_EX);
}

HarnessLock::~HarnessLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace nimbra::test
