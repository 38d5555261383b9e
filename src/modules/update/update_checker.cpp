#include "modules/update/update_checker.h"

#include "core/diagnostics.h"
#include "core/uptime.h"
#include "platform/network/tls_trust.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <cmath>

namespace nimbra {

namespace {

void log(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::update, [&] { return message; });
}

// What one finished transfer means. An answer that is not a manifest, or not a success, is a
// failure with its reason: "up to date" is said only of a feed that was read.
UpdateChecker::Result interpret(QNetworkReply& reply, bool timedOut, bool tooLarge, const QString& currentVersion)
{
    if (tooLarge)
        return { std::nullopt, QStringLiteral("The update feed sent more than a manifest could ever need.") };
    if (timedOut)
        return { std::nullopt, QStringLiteral("The request timed out.") };
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        const QString reason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return { std::nullopt,
            reason.isEmpty()
                ? QStringLiteral("The update feed answered with status %1.").arg(status.toInt())
                : QStringLiteral("The update feed answered with status %1 (%2).").arg(status.toInt()).arg(reason) };
    }
    if (reply.error() != QNetworkReply::NoError)
        return { std::nullopt, reply.errorString() };
    const std::optional<UpdateManifest> manifest = UpdateManifest::decode(reply.readAll());
    if (!manifest)
        return { std::nullopt, QStringLiteral("The update feed did not send a valid update manifest.") };
    if (manifest->isNewer(currentVersion))
        return { manifest, std::nullopt };
    return {};
}

} // namespace

UpdateChecker::UpdateChecker(double timeoutSeconds, QObject* parent)
    : QObject(parent)
    , m_timeoutMs(int(std::lround(std::max(timeoutSeconds, 0.001) * 1000)))
    , m_network(std::make_unique<QNetworkAccessManager>())
{
    // Every check asks the feed itself.
    m_network->setCache(nullptr);
}

UpdateChecker::~UpdateChecker()
{
    // A check still running ends here, without a word to anyone.
    for (QNetworkReply* reply : m_network->findChildren<QNetworkReply*>()) {
        reply->disconnect();
        reply->abort();
    }
}

std::optional<QUrl> UpdateChecker::feedAddress(const QString& host)
{
    const QString trimmed = host.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QUrl url(QStringLiteral("https://") + trimmed + QStringLiteral("/appcast.json"), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.path() != QStringLiteral("/appcast.json"))
        return std::nullopt;
    return url;
}

QString UpdateChecker::currentVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("0") : version;
}

void UpdateChecker::checkIfDue(double now)
{
    if (!m_lastCheckedUptime || now - *m_lastCheckedUptime >= checkInterval)
        check();
}

void UpdateChecker::check(Completion completion)
{
    if (!feedURL) {
        // Nothing was asked of anyone: the time of the last check stays as it was.
        m_lastError = QStringLiteral("No update feed configured.");
        m_available.reset();
        const Result result { std::nullopt, m_lastError };
        if (completion)
            completion(result);
        else if (onFinish)
            onFinish(result);
        return;
    }
    if (feedURL->scheme() != QStringLiteral("https")) {
        finish({ std::nullopt, QStringLiteral("The update feed must be an https address.") }, completion);
        return;
    }

    QNetworkRequest request(*feedURL);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A redirect may lead to another https address, never down to plain http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_timeoutMs);
    request.setSslConfiguration(tlsConfiguration());
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Nimbra/") + currentVersion());

    const QString version = currentVersion();
    QNetworkReply* reply = m_network->get(request);
    // Qt's network thread otherwise reads on, unbounded, while a busy main thread has yet to
    // hear of the progress that ends an oversized answer.
    reply->setReadBufferSize(2 * maximumBody);
    ++m_running;
    // Set before the reply finishes: a transfer that Qt ends for its timeout and one that
    // grew too large both end as "cancelled", told apart here.
    auto tooLarge = std::make_shared<bool>(false);
    // Every arrival is announced to readyRead; progress signals are spaced out and stop while
    // the buffer above is full.
    connect(reply, &QNetworkReply::readyRead, reply, [reply, tooLarge] {
        if (reply->bytesAvailable() > maximumBody && !*tooLarge) {
            *tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, tooLarge, version, completion] {
        reply->deleteLater();
        --m_running;
        const bool timedOut = reply->error() == QNetworkReply::TimeoutError
            || (reply->error() == QNetworkReply::OperationCanceledError && !*tooLarge);
        finish(interpret(*reply, timedOut, *tooLarge, version), completion);
    });
}

void UpdateChecker::finish(const Result& result, const Completion& completion)
{
    m_lastCheckedAt = QDateTime::currentDateTime();
    m_lastCheckedUptime = uptime();
    m_available = result.available;
    m_lastError = result.error;
    if (result.error)
        log(QStringLiteral("check failed: ") + *result.error);
    else if (result.available)
        log(QStringLiteral("update available: ") + result.available->version);
    else
        log(QStringLiteral("up to date"));
    if (completion)
        completion(result);
    else if (onFinish)
        onFinish(result);
}

bool UpdateChecker::openDownload() const
{
    return m_available && openDownload(*m_available);
}

bool UpdateChecker::openDownload(const UpdateManifest& manifest)
{
    if (manifest.url.scheme() != QStringLiteral("https") || manifest.url.host().isEmpty())
        return false;
    return QDesktopServices::openUrl(manifest.url);
}

} // namespace nimbra
