#pragma once

#include <QImage>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace nimbra {

// Loads a track's cover from the address a player gives: a local file is read and decoded off
// the main thread, an http(s) address is fetched with a 5 s transfer time-out. Either way at
// most 16 MiB are taken; a larger, unreadable or undecodable cover, and any other scheme, give a
// null image. The image is scaled down to `maximumSide` so that a huge cover costs no more to
// keep and draw than the notch can show. `then` runs exactly once, later, on the main thread,
// unless the loader is gone by then.
class ArtworkLoader : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 maximumBytes = 16 * 1024 * 1024;
    static constexpr int transferTimeoutMs = 5000;
    static constexpr int maximumSide = 512;

    explicit ArtworkLoader(QObject* parent = nullptr);
    ~ArtworkLoader() override;

    void load(const QUrl& url, std::function<void(const QImage&)> then);

    // The image in at most `maximumBytes` of encoded bytes, scaled to fit `maximumSide`.
    static QImage decode(const QByteArray& bytes);
    // Reads a local file of at most `maximumBytes` and decodes it (any thread).
    static QImage readFile(const QString& path);

private:
    void fetch(const QUrl& url, std::function<void(const QImage&)> then);
    void decodeAway(QByteArray bytes, std::function<void(const QImage&)> then);

    QNetworkAccessManager* m_network = nullptr; // made on the first download
};

} // namespace nimbra
