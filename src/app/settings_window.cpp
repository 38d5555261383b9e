#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/level/system_level_monitor.h"
#include "platform/autostart/login_item.h"
#include "platform/portal/appearance_portal.h"
#include "platform/x11/screens.h"
#include "platform/x11/x11_input_bridge.h"
#include "ui/settings/settings_window_controller.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>

namespace nimbra {

void AppDelegate::createSettingsWindow()
{
    if (m_settingsWindow)
        return;
    QPointer<AppDelegate> self(this);
    m_settingsWindow = std::make_unique<SettingsWindowController>(
        m_settings, [self] { return self && self->m_coordinator ? self->m_coordinator->summary() : QString(); },
        [self](bool on) {
            if (self)
                self->setLaunchAtLogin(on);
        },
        [self](bool on) {
            if (!self)
                return false;
            if (on)
                return self->m_levels->startIntercepting();
            self->m_levels->stopIntercepting();
            return false;
        },
        [self] { return self && self->m_input->trust().isTrusted(); },
        [self] {
            if (self)
                self->requestAccessibility();
        },
        [] { return liveGeometry(); }, [self] { return self ? self->liveLevels() : LiveLevels {}; });
    m_settingsWindow->systemIsDark = [self] {
        if (!self)
            return false;
        return self->m_appearance ? self->m_appearance->isDark() : AppearancePortal::paletteIsDark();
    };
}

void AppDelegate::showSettings()
{
    if (m_settingsWindow)
        m_settingsWindow->show();
}

std::optional<NotchGeometry> AppDelegate::liveGeometry()
{
    QScreen* screen = nimbraBuiltIn();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return nimbraGeometry(screen);
}

LiveLevels AppDelegate::liveLevels() const
{
    // A level that cannot be read here counts as no reading.
    const auto reading = [this](SystemLevel::Kind kind) -> std::optional<SystemLevel> {
        std::optional<SystemLevel> level = m_levels->read(kind);
        if (level && !level->isAvailable)
            return std::nullopt;
        return level;
    };
    return LiveLevels { reading(SystemLevel::Kind::volume), reading(SystemLevel::Kind::brightness) };
}

void AppDelegate::setLaunchAtLogin(bool on)
{
    const QString executable = QCoreApplication::applicationFilePath();
    const auto alert = [this](QMessageBox::Icon icon, const QString& message, const QString& information) {
        QWidget* parent = m_settingsWindow ? m_settingsWindow->window() : nullptr;
        auto* box = new QMessageBox(icon, QStringLiteral("Nimbra"), message, QMessageBox::Ok, parent);
        box->setInformativeText(information);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("NimbraAlert"));
        // Window-modal and not blocking: the run goes on while the alert waits.
        box->open();
    };
    // Removing the entry is always safe, so turning the switch off always removes it, whichever
    // copy is running.
    if (on && !LoginItem::isInstalledLocation(executable, QDir::homePath())) {
        m_settings.setLaunchAtLogin(false);
        alert(QMessageBox::Information, QStringLiteral("Install Nimbra first"),
            QStringLiteral("Opening at login registers whichever copy of Nimbra is running, and this one is running "
                           "from:\n\n%1\n\nThat path would break the next time Nimbra is rebuilt. Install Nimbra "
                           "under /usr, /opt or ~/.local, open it from there, and this will work.")
                .arg(executable));
        return;
    }
    QString error;
    LoginItem item;
    const bool done = on ? item.registerItem(executable, &error) : item.unregisterItem(&error);
    if (done) {
        if (on)
            Diagnostics::log(Diagnostics::Category::display, "launch-at-login registered");
        else
            Diagnostics::log(Diagnostics::Category::display, "launch-at-login unregistered");
        return;
    }
    Diagnostics::log(Diagnostics::Category::display, [&] { return "launch-at-login failed: " + error; });
    m_settings.setLaunchAtLogin(!on);
    alert(QMessageBox::Warning, QStringLiteral("Couldn't change the login item"), error);
}

void AppDelegate::requestAccessibility()
{
    // An X server grants key grabs and synthetic input without asking: there is no prompt to
    // show and no privacy pane to open, only the media keys to try again.
    m_levels->startIntercepting();
}

} // namespace nimbra
