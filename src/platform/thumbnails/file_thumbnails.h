#pragma once

#include "platform/thumbnails/thumbnail_cache.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QThreadPool>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace nimbra {

class ThumbnailerService;
class WorkerCensus;
namespace thumbnail_maker {
struct Outcome;
}

// The pictures of the shelf's tiles: a square thumbnail per file and size, kept in memory once
// made. Until it exists, the file type's icon from the icon theme stands in, so a tile never
// waits. Thumbnails come from the desktop's shared cache when it holds a valid one, else they
// are made off the main thread (pictures decoded by Qt, other types by the desktop's
// thumbnailer service) and written back to the shared cache.
//
// A file that cannot be previewed is remembered as such and not asked for again until it is
// forgotten, or dropped again after its modification time changed. Forgetting a file drops its
// thumbnails and that memory, and a request still running for it stores nothing.
//
// The workers are a private pool of a few threads (never Qt's global pool, which painting
// waits on). They read files as outside files: a FIFO, socket or device is never opened, and
// every file is given up after a time limit. A worker never touches this object: it hands its
// answer to a mailbox that this object closes when it goes, or when the application does.
//
// Used on the main thread only.
class FileThumbnails : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The shared cache's folder; empty: $XDG_CACHE_HOME/thumbnails.
        QString cacheRoot {};
        // Where to look for the thumbnailer service; none: the session bus.
        std::optional<QDBusConnection> bus {};
        bool useService = true;
        // Worker threads; 0 picks a few, leaving cores for everything else.
        int threads = 0;
    };

    explicit FileThumbnails(Options options, QObject* parent = nullptr);
    FileThumbnails();
    ~FileThumbnails() override;

    // The one instance of the run, made on first use.
    static FileThumbnails& shared();

    // Thumbnails stored since the start.
    int revision() const { return m_revision; }
    // Called after thumbnails were stored (once for all that arrived together), and when a file
    // turned out to be of another type than its name said, so its icon changes.
    std::function<void()> onUpdate;

    // The thumbnail when it exists, else the file type's icon; starts making the thumbnail when
    // it is neither made, being made nor known to fail. `side` in points, `scale` pixels per point.
    QPixmap image(const QUrl& url, double side, double scale);
    // Starts making the thumbnail of every file that has none and none on the way; a file that
    // failed before is looked at again (and tried only if it changed since).
    void prewarm(const QList<QUrl>& urls, double side, double scale);
    // Drops every thumbnail of the file (any side), its failure and its requests.
    void forget(const QUrl& url);

    // "path|side": the side truncated to whole points; the scale is no part of it.
    static QString key(const QUrl& url, double side);

    // The stand-in: the icon of the file's type, `side` points square at `scale`.
    QPixmap icon(const QUrl& url, double side, double scale);
    // The freedesktop icon name used for a MIME type.
    static QString iconName(const QString& mimeType);

    bool isCached(const QUrl& url, double side) const { return m_cache.contains(key(url, side)); }
    bool isInFlight(const QUrl& url, double side) const { return m_inFlight.contains(key(url, side)); }
    bool hasFailed(const QUrl& url, double side) const { return m_failed.contains(key(url, side)); }
    // Requests started since the start (each making or re-checking one thumbnail).
    int requestsStarted() const { return m_requestsStarted; }
    // Nothing is being made.
    bool isIdle() const { return m_inFlight.isEmpty(); }
    const ThumbnailCache& cache() const { return m_store; }

    // Calls off what waits and what runs; later answers store nothing. Waits at most
    // `waitMs` for running workers to leave (a cancelled worker leaves at its next read; one
    // stuck in the file system is not waited for); true when none is left running.
    bool stopWork(int waitMs = 0);
    // Workers running now that neither wait on the file system nor were left behind.
    int workersAtWork() const;

    // The most that quitting waits for called-off workers that are not stuck in the file system.
    // In the application its quit deadline (1 s) comes first; this bounds any other user.
    static constexpr int quitWaitMs = 10'000;

private:
    struct Ticket {
        quint64 id = 0;
        std::shared_ptr<std::atomic_bool> cancelled;
    };
    class Mailbox;

    void callOff();
    // For good: no answer is posted any more, the called-off workers are waited for and one
    // stuck in the file system is left behind; true when none was.
    bool closeDown();
    void request(const QString& path, const QString& key, int pixels, const std::optional<FileStamp>& knownFailure);
    void finish(const QString& key, quint64 ticket, const QString& path, int pixels, thumbnail_maker::Outcome outcome);
    void fail(const QString& key, const QString& path, const std::optional<FileStamp>& stamp);
    void learnType(const QString& path, const QString& mimeType);
    void scheduleUpdate();
    // Runs `work` on the pool unless its ticket is cancelled before it starts.
    void startWork(const Ticket& ticket, std::function<void(Mailbox&)> work);
    QString typeOf(const QString& path) const;
    ThumbnailerService& service();

    Options m_options;
    ThumbnailCache m_store;
    std::shared_ptr<Mailbox> m_mailbox;
    std::shared_ptr<WorkerCensus> m_census;
    // Owned; left behind (never deleted) when a worker is still stuck when this object goes.
    QThreadPool* m_pool;
    std::unique_ptr<ThumbnailerService> m_service;
    QHash<QString, QPixmap> m_cache;
    QHash<QString, Ticket> m_inFlight;
    QHash<QString, std::optional<FileStamp>> m_failed;
    // Types learned from the files' contents, by path.
    QHash<QString, QString> m_types;
    QHash<QString, QPixmap> m_icons;
    int m_revision = 0;
    int m_requestsStarted = 0;
    quint64 m_lastTicket = 0;
    bool m_updateQueued = false;
};

} // namespace nimbra
