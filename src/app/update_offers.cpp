#include "app/app_delegate.h"

#include "app/alerts.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "core/uptime.h"
#include "modules/update/update_checker.h"

#include <QPointer>

#ifndef NIMBRA_UPDATE_HOST
#define NIMBRA_UPDATE_HOST ""
#endif

namespace nimbra {

namespace {
constexpr int kAutomaticCheckDelayMs = 8000;
} // namespace

std::optional<QUrl> AppDelegate::configuredUpdateFeed()
{
    return UpdateChecker::feedAddress(QStringLiteral(NIMBRA_UPDATE_HOST));
}

QString AppDelegate::updatesUnavailable() const
{
    return m_updates->feedURL ? QString() : QStringLiteral("This build has no update feed");
}

void AppDelegate::setUpUpdates()
{
    // Automatic checks speak only when there is something to offer.
    QPointer<AppDelegate> self(this);
    m_updates->onFinish = [self](const UpdateChecker::Result& result) {
        if (!self || !result.available)
            return;
        Diagnostics::log(
            Diagnostics::Category::update, [&] { return QStringLiteral("offering ") + result.available->version; });
        self->announceUpdate(*result.available);
    };
    if (m_settings.checksForUpdates())
        m_updateDelay.start(kAutomaticCheckDelayMs);
}

void AppDelegate::announceUpdate(const UpdateManifest& manifest)
{
    // One offer at a time: a newer answer replaces an offer still waiting.
    if (m_updateAlert)
        m_updateAlert->close();
    const QString informative
        = manifest.notes.value_or(QStringLiteral("You have %1. Would you like to download the new version?")
                                      .arg(UpdateChecker::currentVersion()));
    // The address of this offer, even if a later check found nothing.
    m_updateAlert = showAlert(QMessageBox::Information, QStringLiteral("Nimbra %1 is available").arg(manifest.version),
        informative, { QStringLiteral("Download"), QStringLiteral("Later") }, [manifest](int answer) {
            if (answer == 0)
                UpdateChecker::openDownload(manifest);
        });
}

void AppDelegate::checkForUpdates()
{
    // This check answers the user, whatever it finds; the automatic handler stays as it was.
    QPointer<AppDelegate> self(this);
    m_updates->check([self](const UpdateChecker::Result& result) {
        if (!self)
            return;
        if (result.available) {
            self->announceUpdate(*result.available);
            return;
        }
        if (result.error)
            showAlert(QMessageBox::Warning, QStringLiteral("Couldn't check for updates"), *result.error);
        else
            showAlert(QMessageBox::Information, QStringLiteral("Nimbra is up to date"),
                QStringLiteral("You have version %1.").arg(UpdateChecker::currentVersion()));
    });
}

void AppDelegate::automaticUpdateCheck()
{
    // The setting may have been turned off since launch; a build without a feed has nothing to ask.
    if (!m_terminated && m_settings.checksForUpdates() && m_updates->feedURL)
        m_updates->checkIfDue(uptime());
}

} // namespace nimbra
