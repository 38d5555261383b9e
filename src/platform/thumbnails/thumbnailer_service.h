#pragma once

#include "platform/thumbnails/thumbnail_cache.h"

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

// The desktop's thumbnailer service (org.freedesktop.thumbnails.Thumbnailer1, as tumbler and
// others provide it): it draws the types Qt cannot (documents, videos, fonts...) and writes the
// result into the shared thumbnail cache. Every call is asynchronous; the service is asked what
// it supports once, on the first request, and started by the bus when it is only activatable.
namespace nimbra {

class ThumbnailerService : public QObject {
    Q_OBJECT
public:
    static const QString serviceName;

    enum class State { unknown, probing, available, unavailable };

    explicit ThumbnailerService(const QDBusConnection& bus, QObject* parent = nullptr);
    ~ThumbnailerService() override;

    // Asks for the thumbnail of the file at `uri` in `flavor` (or the nearest size the service
    // makes). `mimeTypes` are the file's type and the types it derives from, most specific first.
    // `done` is called exactly once, later and on this thread: true when the service reports
    // the thumbnail written, false when it failed, knows no such type or is not there.
    void request(const QString& uri, const QStringList& mimeTypes, ThumbnailCache::Flavor flavor,
        std::function<void(bool)> done);

    State state() const { return m_state; }
    // Requests sent to the service and not finished yet.
    qsizetype outstanding() const { return m_jobs.size(); }

    // The first of `mimeTypes` the service names among what it draws from local files.
    static std::optional<QString> supportedType(const QStringList& mimeTypes, const QSet<QString>& supported);
    // The wanted flavor when the service makes it, else the nearest larger one, else its largest.
    static std::optional<QString> flavorName(ThumbnailCache::Flavor wanted, const QStringList& offered);

    // How long a request may stay unanswered before it counts as failed.
    static constexpr int requestTimeoutMs = 60'000;

private Q_SLOTS:
    void ready(uint handle, const QStringList& uris);
    void error(uint handle, const QStringList& uris, int code, const QString& message);
    void finished(uint handle);

private:
    struct Pending {
        QString uri;
        QStringList mimeTypes;
        ThumbnailCache::Flavor flavor;
        std::function<void(bool)> done;
    };
    struct Job {
        QString uri;
        bool ready = false;
        std::function<void(bool)> done;
        QDeadlineTimer deadline;
    };
    // What the service said about a handle before its queue call returned.
    struct Early {
        bool ready = false;
        bool finished = false;
    };

    void probe();
    void probed(bool available);
    void send(Pending pending);
    void settle(uint handle);
    void failAll();
    void expire();
    static void answerLater(QObject* context, std::function<void(bool)> done, bool ok);

    QDBusConnection m_bus;
    State m_state = State::unknown;
    QSet<QString> m_types;
    QStringList m_flavors;
    QList<Pending> m_waiting;
    QHash<uint, Job> m_jobs;
    QHash<uint, Early> m_early;
    QList<uint> m_earlyOrder;
    QTimer m_expiry;
};

} // namespace nimbra
