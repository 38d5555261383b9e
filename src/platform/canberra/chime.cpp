#include "platform/canberra/chime.h"

#include "core/diagnostics.h"
#include "platform/portal/portal_settings.h"

#include <QCoreApplication>
#include <QDBusVariant>
#include <QPointer>
#include <canberra.h>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace nimbra {

namespace {
const QString kSoundGroup = QStringLiteral("org.gnome.desktop.sound");
const QString kEventSounds = QStringLiteral("event-sounds");
const QString kThemeName = QStringLiteral("theme-name");
// Tried in order: the freedesktop theme's sound for a finished task, then the plain bell.
const char* const kEvents[] = { "complete", "bell" };
} // namespace

// Owns the libcanberra context on its own thread. The chime and the worker share it, so a
// worker still busy with an unresponsive sound server when the chime goes can finish alone.
struct Chime::Worker {
    struct Request {
        QString description;
        QString themeName;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Request> queue;
    bool stopping = false;
    bool finished = false;
    // Runs on the worker thread; hands the outcome to the main thread.
    std::function<void(const Outcome&)> deliver;
    ca_context* context = nullptr;

    void run()
    {
        for (;;) {
            Request request;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || !queue.empty(); });
                if (stopping)
                    break;
                request = queue.front();
                queue.pop_front();
            }
            deliver(play(request));
        }
        closeContext();
        std::lock_guard lock(mutex);
        finished = true;
        wake.notify_all();
    }

    void closeContext()
    {
        if (context)
            ca_context_destroy(context);
        context = nullptr;
    }

    Outcome unavailable(int error)
    {
        // The connection is opened again for the next chime, so a restarted server is found.
        closeContext();
        return { Result::unavailable, {}, QString::fromUtf8(ca_strerror(error)) };
    }

    Outcome play(const Request& request)
    {
        if (!context) {
            if (int error = ca_context_create(&context); error < 0) {
                context = nullptr;
                return unavailable(error);
            }
            ca_context_change_props(
                context, CA_PROP_APPLICATION_NAME, "Nimbra", CA_PROP_APPLICATION_ID, "nimbra", nullptr);
            if (int error = ca_context_open(context); error < 0)
                return unavailable(error);
        }
        const QByteArray description = request.description.toUtf8();
        const QByteArray theme = request.themeName.toUtf8();
        for (const char* event : kEvents) {
            ca_proplist* properties = nullptr;
            if (ca_proplist_create(&properties) < 0)
                return unavailable(CA_ERROR_OOM);
            ca_proplist_sets(properties, CA_PROP_EVENT_ID, event);
            ca_proplist_sets(properties, CA_PROP_EVENT_DESCRIPTION, description.constData());
            ca_proplist_sets(properties, CA_PROP_MEDIA_ROLE, "event");
            if (!theme.isEmpty())
                ca_proplist_sets(properties, CA_PROP_CANBERRA_XDG_THEME_NAME, theme.constData());
            const int error = ca_context_play_full(context, 1, properties, nullptr, nullptr);
            ca_proplist_destroy(properties);
            if (error == CA_SUCCESS)
                return { Result::played, QString::fromLatin1(event), {} };
            if (error != CA_ERROR_NOTFOUND)
                return unavailable(error);
        }
        return { Result::unavailable, {},
            QStringLiteral("the sound theme has neither a \"complete\" nor a \"bell\" sound") };
    }
};

Chime::Chime(QObject* parent)
    : QObject(parent)
{
    portal::watchSettings(this, SLOT(settingChanged(QString, QString, QDBusVariant)));
    for (const QString& key : { kEventSounds, kThemeName }) {
        portal::readSetting(this, kSoundGroup, key, [this, key](std::optional<QVariant> value) {
            if (value)
                applySetting(key, *value);
        });
    }
}

Chime::~Chime()
{
    if (!m_worker)
        return;
    std::unique_lock lock(m_worker->mutex);
    m_worker->stopping = true;
    m_worker->wake.notify_all();
    // A sound server that does not answer may hold the worker; it then finishes on its own.
    m_worker->wake.wait_for(lock, std::chrono::seconds(2), [this] { return m_worker->finished; });
}

void Chime::settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group == kSoundGroup)
        applySetting(key, value.variant());
}

void Chime::applySetting(const QString& key, const QVariant& value)
{
    const QVariant plain = portal::unwrap(value);
    if (key == kEventSounds && plain.canConvert<bool>())
        m_eventSounds = plain.toBool();
    else if (key == kThemeName)
        m_themeName = plain.toString();
}

void Chime::play(const QString& description)
{
    if (!m_eventSounds) {
        report({ Result::switchedOff, {}, QStringLiteral("event sounds are switched off") });
        return;
    }
    if (!m_worker) {
        m_worker = std::make_shared<Worker>();
        // The outcome reaches the chime only while it lives: `alive` is read and cleared on the
        // main thread alone.
        auto alive = std::make_shared<QPointer<Chime>>(this);
        m_worker->deliver = [alive](const Outcome& outcome) {
            QCoreApplication* application = QCoreApplication::instance();
            if (!application)
                return; // quitting
            QMetaObject::invokeMethod(
                application,
                [alive, outcome] {
                    if (*alive)
                        (*alive)->report(outcome);
                },
                Qt::QueuedConnection);
        };
        std::thread([worker = m_worker] { worker->run(); }).detach();
    }
    std::lock_guard lock(m_worker->mutex);
    m_worker->queue.push_back({ description, m_themeName });
    m_worker->wake.notify_all();
}

void Chime::report(const Outcome& outcome)
{
    Diagnostics::log(Diagnostics::Category::timer, [&] {
        switch (outcome.result) {
        case Result::played:
            return QStringLiteral("chime played \"%1\"").arg(outcome.event);
        case Result::switchedOff:
            return QStringLiteral("chime silent: %1").arg(outcome.reason);
        case Result::unavailable:
            break;
        }
        return QStringLiteral("chime unavailable: %1").arg(outcome.reason);
    });
    if (onOutcome)
        onOutcome(outcome);
}

} // namespace nimbra
