#include "platform/upower/kbd_backlight.h"

#include "core/diagnostics.h"
#include "platform/pending_steps.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>

#include <algorithm>

namespace nimbra {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower/KbdBacklight");
const QString kInterface = QStringLiteral("org.freedesktop.UPower.KbdBacklight");
constexpr int kCallTimeoutMs = 3000;
// A daemon that just took its name may not have exported its objects yet.
constexpr int kRetryMs = 1000;
constexpr int kRetries = 3;

void logLevel(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

} // namespace

struct KbdBacklight::Private {
    KbdBacklight* q = nullptr;
    QDBusConnection bus;
    QDBusServiceWatcher serviceWatcher;
    int maximum = 0;
    std::optional<int> current;
    PendingSteps pending;
    // Answers to an older probe are dropped once UPower came or went again.
    int generation = 0;

    explicit Private(QDBusConnection connection)
        : bus(std::move(connection))
    {
    }

    QDBusPendingCall call(const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
        message.setArguments(arguments);
        return bus.asyncCall(message, kCallTimeoutMs);
    }

    std::optional<double> fraction(std::optional<qint64> raw) const
    {
        if (!raw || maximum <= 0)
            return std::nullopt;
        return std::clamp(double(*raw) / maximum, 0.0, 1.0);
    }

    void setAvailable(int newMaximum)
    {
        const bool was = maximum > 0;
        maximum = newMaximum;
        if (maximum <= 0)
            current.reset();
        if (was != (maximum > 0)) {
            logLevel(
                maximum > 0 ? QStringLiteral("keyboard backlight found") : QStringLiteral("keyboard backlight gone"));
            if (q->onAvailabilityChange)
                q->onAvailabilityChange(maximum > 0);
        }
    }

    // Asks UPower for the range and the level; without an answer there is no keyboard backlight.
    void probe(int retries)
    {
        const int asked = ++generation;
        auto* watcher = new QDBusPendingCallWatcher(call(QStringLiteral("GetMaxBrightness")), q);
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, q, [this, asked, retries](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (asked != generation)
                    return;
                QDBusPendingReply<int> reply = *w;
                if (reply.isError() || reply.value() <= 0) {
                    setAvailable(0);
                    if (retries > 0)
                        QTimer::singleShot(kRetryMs, q, [this, asked, retries] {
                            if (asked == generation)
                                probe(retries - 1);
                        });
                    return;
                }
                refresh([this, asked, maximum = reply.value()](std::optional<int> level) {
                    if (asked != generation || !level)
                        return;
                    current = level;
                    setAvailable(maximum);
                });
            });
    }

    void refresh(std::function<void(std::optional<int>)> then)
    {
        auto* watcher = new QDBusPendingCallWatcher(call(QStringLiteral("GetBrightness")), q);
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, q, [then = std::move(then)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                QDBusPendingReply<int> reply = *w;
                then(reply.isError() ? std::nullopt : std::optional<int>(reply.value()));
            });
    }
};

KbdBacklight::KbdBacklight(QDBusConnection systemBus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(std::move(systemBus)))
{
    d->q = this;
    d->serviceWatcher.setConnection(d->bus);
    d->serviceWatcher.addWatchedService(kService);
    connect(&d->serviceWatcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { d->probe(kRetries); });
    connect(&d->serviceWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        ++d->generation;
        d->setAvailable(0);
    });
    d->bus.connect(
        kService, kPath, kInterface, QStringLiteral("BrightnessChanged"), this, SLOT(brightnessChanged(int)));
    d->probe(0);
}

KbdBacklight::~KbdBacklight() = default;

bool KbdBacklight::isAvailable() const
{
    return d->maximum > 0;
}

std::optional<double> KbdBacklight::read() const
{
    return d->fraction(d->current);
}

std::optional<double> KbdBacklight::target() const
{
    const auto last = d->pending.last();
    return last ? d->fraction(last) : read();
}

void KbdBacklight::write(double value, int direction, std::function<void(std::optional<double>)> done)
{
    if (!isAvailable()) {
        if (done)
            done(std::nullopt);
        return;
    }
    const std::optional<qint64> last = d->pending.last();
    const int raw
        = int(PendingSteps::stepFor(value, d->maximum, direction, last ? last : std::optional<qint64>(d->current)));
    d->pending.add(raw);
    auto* watcher = new QDBusPendingCallWatcher(d->call(QStringLiteral("SetBrightness"), { raw }), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, asked = raw, done = std::move(done)](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (w->isError())
                logLevel(QStringLiteral("keyboard backlight write refused: ") + w->error().name());
            d->refresh([this, asked, done](std::optional<int> level) {
                d->pending.settled(asked);
                if (level)
                    d->current = level;
                if (done)
                    done(d->fraction(level ? level : d->current));
            });
        });
}

void KbdBacklight::brightnessChanged(int value)
{
    if (!isAvailable() || value == d->current)
        return;
    d->current = value;
    if (d->pending.isOurs(value))
        return;
    if (onChange)
        if (auto level = d->fraction(value))
            onChange(*level);
}

} // namespace nimbra
