#pragma once

#include "core/version.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace nimbra {

// Fetches the update feed, one small JSON document over HTTPS, and decides whether it
// announces a newer version than the running one. There is no installer: an offer's download
// address is opened by the desktop. Main thread only; the transfer runs on Qt's network stack.
class UpdateChecker final : public QObject {
    Q_OBJECT
public:
    static constexpr double defaultTimeout = 15;
    // An automatic check is due once a day at most.
    static constexpr double checkInterval = 86400;
    // Far more than any manifest; a feed that sends more is broken or hostile.
    static constexpr qint64 maximumBody = 1 << 20;

    // `timeoutSeconds`: how long a transfer may go without a byte before it fails.
    explicit UpdateChecker(double timeoutSeconds = defaultTimeout, QObject* parent = nullptr);
    ~UpdateChecker() override;

    // The outcome of one check: a newer version, or none, either because the running one is
    // current or because the check failed (then `error` says why).
    struct Result {
        std::optional<UpdateManifest> available;
        std::optional<QString> error;
    };
    using Completion = std::function<void(const Result&)>;

    // The feed's address: "https://" + host + "/appcast.json"; none for an empty host or one
    // that makes no valid address.
    static std::optional<QUrl> feedAddress(const QString& host);
    // The running version (the application's version, "0" when it has none).
    static QString currentVersion();

    std::optional<QUrl> feedURL;
    // Told after every check that was started without a completion of its own.
    Completion onFinish;

    // The last finished check: the newer version it found, its failure, and when it finished.
    const std::optional<UpdateManifest>& available() const { return m_available; }
    const std::optional<QString>& lastError() const { return m_lastError; }
    const std::optional<QDateTime>& lastCheckedAt() const { return m_lastCheckedAt; }
    int runningChecks() const { return m_running; }

    // check() when no check has finished yet or the last one finished a day or more before
    // `now` (seconds of uptime).
    void checkIfDue(double now);
    // Starts a check now. With a `completion`, the result goes there and not to onFinish, so
    // a check the user asked for answers the user alone. Several checks may run at once.
    void check(Completion completion = {});
    // Opens the available version's download address with the desktop's URL handler; false
    // when there is none or it is not https.
    bool openDownload() const;
    static bool openDownload(const UpdateManifest& manifest);

private:
    void finish(const Result& result, const Completion& completion);

    int m_timeoutMs;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::optional<UpdateManifest> m_available;
    std::optional<QString> m_lastError;
    std::optional<QDateTime> m_lastCheckedAt;
    std::optional<double> m_lastCheckedUptime;
    int m_running = 0;
};

} // namespace nimbra
