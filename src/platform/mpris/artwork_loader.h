#pragma once

#include <QDeadlineTimer>
#include <QImage>
#include <QObject>
#include <QUrl>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QThreadPool;
class QTimer;

namespace nimbra {

// Loads a track's cover from the address a player gives: a local file is read and decoded off
// the main thread, an http(s) address is fetched with a 5 s transfer time-out. Either way at
// most 16 MiB are taken; a larger, unreadable or undecodable cover, and any other scheme, give a
// null image. The image is scaled down to `maximumSide` so that a huge cover costs no more to
// keep and draw than the notch can show.
//
// A cover's address comes from outside, so reading it must never hold anything up: files are
// read on a small pool of this loader's own (never Qt's global pool, which painting waits on),
// opened without blocking and read only when they are regular files; a read that takes longer
// than `readTimeoutMs` counts as no image and its worker is abandoned, and nobody ever waits for
// one, quitting included. While the readers are all busy, at most `maximumWaitingReads` reads
// wait their turn; a cover past that is no image, so that no queue grows behind a dead mount. `then` runs at most once, later, on the main thread: exactly once
// unless the load is dropped (dropAll()) or the loader is gone by then.
class ArtworkLoader : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 maximumBytes = 16 * 1024 * 1024;
    static constexpr int transferTimeoutMs = 5000;
    static constexpr int readTimeoutMs = 5000;
    static constexpr int maximumSide = 512;
    // Reads that may run at once; a worker stuck on a dead mount holds one of them.
    static constexpr int maximumReaders = 2;
    // Reads that may wait for a reader while all of them are busy.
    static constexpr int maximumWaitingReads = 4;

    explicit ArtworkLoader(QObject* parent = nullptr);
    ~ArtworkLoader() override;

    void load(const QUrl& url, std::function<void(const QImage&)> then);
    // Drops every load on its way: reads not started are skipped, downloads aborted, and no
    // `then` of theirs runs.
    void dropAll();
    // Loads whose `then` has not run yet.
    int pending() const { return int(m_pending.size()); }

    // The image in at most `maximumBytes` of encoded bytes, scaled to fit `maximumSide`.
    static QImage decode(const QByteArray& bytes);
    // Reads a regular local file of at most `maximumBytes` and decodes it (any thread). A FIFO,
    // socket or device is never read; a read that passes `deadline`, or whose
    // `cancelled` turns true, gives up.
    static QImage readFile(
        const QString& path, QDeadlineTimer deadline, const std::function<bool()>& cancelled = {});
    // The readers' pool (tests watch it drain).
    static QThreadPool& readers();
    // Reads (and decodes) handed to the readers that have not begun yet.
    static int waitingReads();

private:
    struct Pending;

    std::uint64_t begin(std::function<void(const QImage&)> then, int timeoutMs);
    void finish(std::uint64_t id, const QImage& image);
    // Load `id` ends unanswered after `timeoutMs`.
    void armTimeout(std::uint64_t id, int timeoutMs);
    // Lets go of what a load holds; a download still running is aborted when `abortReply`.
    void release(Pending& pending, bool abortReply);
    void fetch(std::uint64_t id, const QUrl& url);
    void decodeAway(std::uint64_t id, QByteArray bytes);
    void readAway(std::uint64_t id, const QString& path);
    // Runs `work` on the readers unless load `id` is dropped first; its image goes to finish().
    void workAway(std::uint64_t id, std::function<QImage(const std::atomic<bool>& cancelled)> work);

    QNetworkAccessManager* m_network = nullptr; // made on the first download
    std::uint64_t m_lastID = 0;
    std::map<std::uint64_t, std::shared_ptr<Pending>> m_pending;
};

} // namespace nimbra
