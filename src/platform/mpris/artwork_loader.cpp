#include "platform/mpris/artwork_loader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThreadPool>

namespace nimbra {

namespace {

// Hands `image` to `then` on the main thread, unless `owner` is gone by then. Safe to call from
// any thread: the application object outlives every worker, and the weak pointer is only read
// on the main thread.
void deliver(QPointer<ArtworkLoader> owner, QImage image, std::function<void(const QImage&)> then)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [owner, image = std::move(image), then = std::move(then)] {
            if (owner)
                then(image);
        },
        Qt::QueuedConnection);
}

} // namespace

ArtworkLoader::ArtworkLoader(QObject* parent)
    : QObject(parent)
{
}

ArtworkLoader::~ArtworkLoader() = default;

QImage ArtworkLoader::decode(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > maximumBytes)
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // Decoding straight to the shown size keeps a huge cover from being unpacked in full.
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > maximumSide || size.height() > maximumSide))
        reader.setScaledSize(size.scaled(maximumSide, maximumSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > maximumSide || image.height() > maximumSide)
        image = image.scaled(maximumSide, maximumSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage ArtworkLoader::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // One byte past the limit tells a file that is too large, whatever its reported size.
    const QByteArray bytes = file.read(maximumBytes + 1);
    return decode(bytes);
}

void ArtworkLoader::load(const QUrl& url, std::function<void(const QImage&)> then)
{
    QPointer<ArtworkLoader> self(this);
    const QString scheme = url.scheme();
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        QThreadPool::globalInstance()->start(
            [self, path, then = std::move(then)]() mutable { deliver(self, readFile(path), std::move(then)); });
        return;
    }
    if (scheme == QLatin1String("https") || scheme == QLatin1String("http")) {
        fetch(url, std::move(then));
        return;
    }
    deliver(self, QImage(), std::move(then));
}

void ArtworkLoader::fetch(const QUrl& url, std::function<void(const QImage&)> then)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    auto received = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::readyRead, this, [reply, received, tooLarge] {
        if (received->size() + reply->bytesAvailable() > maximumBytes) {
            *tooLarge = true;
            reply->abort();
            return;
        }
        received->append(reply->readAll());
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, received, tooLarge, then = std::move(then)]() mutable {
        reply->deleteLater();
        if (!*tooLarge && reply->bytesAvailable() > 0 && received->size() + reply->bytesAvailable() <= maximumBytes)
            received->append(reply->readAll());
        // Whatever arrived is tried as an image, as a browser would; nothing arrived is no image.
        if (*tooLarge || received->isEmpty()) {
            deliver(this, QImage(), std::move(then));
            return;
        }
        decodeAway(std::move(*received), std::move(then));
    });
}

void ArtworkLoader::decodeAway(QByteArray bytes, std::function<void(const QImage&)> then)
{
    QPointer<ArtworkLoader> self(this);
    QThreadPool::globalInstance()->start([self, bytes = std::move(bytes), then = std::move(then)]() mutable {
        deliver(self, decode(bytes), std::move(then));
    });
}

} // namespace nimbra
