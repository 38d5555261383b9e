#include "app/app_delegate.h"

#include "app/alerts.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "platform/autostart/login_item.h"
#include "ui/settings/settings_window_controller.h"

#include <QDir>

namespace nimbra {

namespace {
void log(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::display, [&] { return message; });
}

std::optional<QString> installedCopyOf(const QString& running)
{
    return LoginItem::installedCopy(running, QDir::homePath(), qEnvironmentVariable("APPIMAGE"));
}
} // namespace

// Opening at login is the desktop's autostart entry. Only an installed copy is registered:
// the entry names the program by its path, and a path in a build tree breaks with the next
// rebuild. Turning it off always removes the entry, whichever copy runs. The setting ends up
// saying what is on disk.
void AppDelegate::setLaunchAtLogin(bool on)
{
    LoginItem item;
    if (on) {
        const std::optional<QString> program = installedCopyOf(runningProgram);
        if (!program) {
            m_settings.setLaunchAtLogin(false);
            showAlert(QMessageBox::Information, QStringLiteral("Install Nimbra first"),
                QStringLiteral("Opening at login registers whichever copy of Nimbra is running, and this one is "
                               "running from:\n\n%1\n\nThat path would break the next time Nimbra is rebuilt. "
                               "Install Nimbra under /usr, /opt or ~/.local, open it from there, and this will work.")
                    .arg(runningProgram),
                { QStringLiteral("OK") }, {}, settingsWindowForAlerts());
            return;
        }
        QString error;
        if (item.registerItem(*program, &error)) {
            m_settings.setLaunchAtLogin(true);
            log(QStringLiteral("launch-at-login registered"));
            return;
        }
        loginItemFailed(item, error);
        return;
    }
    QString error;
    if (item.unregisterItem(&error)) {
        m_settings.setLaunchAtLogin(false);
        log(QStringLiteral("launch-at-login unregistered"));
        return;
    }
    loginItemFailed(item, error);
}

// The switch lives in the settings window: its alerts belong to that window.
QWidget* AppDelegate::settingsWindowForAlerts() const
{
    return m_settingsWindow ? m_settingsWindow->window() : nullptr;
}

// The desktop's own startup settings may have added, removed or disabled the entry, and the
// program it names may have moved (an AppImage) or been replaced by another copy. It counts as
// on only when it would start this Nimbra; one that no longer does, while the setting still
// wants it, is pointed at this installed copy.
void AppDelegate::syncLaunchAtLogin()
{
    // Only a difference is written: a start that changes nothing leaves the settings file alone.
    const auto settle = [this](bool on) {
        if (m_settings.launchAtLogin() != on)
            m_settings.setLaunchAtLogin(on);
    };
    LoginItem item;
    const std::optional<QString> installed = installedCopyOf(runningProgram);
    if (item.startsProgram(installed.value_or(runningProgram))) {
        settle(true);
        return;
    }
    if (m_settings.launchAtLogin() && installed && item.isEnabled()) {
        QString error;
        if (item.registerItem(*installed, &error)) {
            log(QStringLiteral("launch-at-login pointed at ") + *installed);
            return;
        }
        log(QStringLiteral("launch-at-login could not be pointed here: ") + error);
    }
    settle(false);
}

void AppDelegate::loginItemFailed(const LoginItem& item, const QString& error)
{
    log(QStringLiteral("launch-at-login failed: ") + error);
    m_settings.setLaunchAtLogin(item.startsProgram(installedCopyOf(runningProgram).value_or(runningProgram)));
    showAlert(QMessageBox::Warning, QStringLiteral("Couldn't change the login item"), error, { QStringLiteral("OK") },
        {}, settingsWindowForAlerts());
}

} // namespace nimbra
