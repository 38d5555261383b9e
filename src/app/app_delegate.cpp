#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "app/settings_observation.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/clipboard/clipboard_monitor.h"
#include "modules/clipboard/global_hot_key.h"
#include "modules/eyes/eye_tracker.h"
#include "modules/eyes/eyes_status_item.h"
#include "modules/level/system_level_monitor.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/power/device_battery_monitor.h"
#include "modules/power/power_monitor.h"
#include "modules/shelf/shelf_watch.h"
#include "modules/update/update_checker.h"
#include "platform/autostart/login_item.h"
#include "platform/canberra/chime.h"
#include "platform/file_manager/file_manager.h"
#include "platform/pointer_watch.h"
#include "platform/portal/appearance_portal.h"
#include "platform/upower/upower_devices.h"
#include "platform/x11/active_window.h"
#include "platform/x11/x11_input_bridge.h"
#include "platform/x11/x11_pointer_watch.h"
#include "ui/onboarding/onboarding_window_controller.h"
#include "ui/settings/settings_window_controller.h"
#include "ui/tray/tray_item.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <cstdio>

namespace nimbra {

AppDelegate::AppDelegate(NimbraSettings* settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings ? *settings : NimbraSettings::shared())
    , m_input(std::make_unique<X11InputBridge>())
    , m_levels(std::make_unique<SystemLevelMonitor>(SystemLevelMonitor::Sources { .input = m_input.get() }))
    , m_nowPlaying(std::make_unique<NowPlayingMonitor>())
    , m_pointerWatch(std::make_unique<X11PointerWatch>(*m_input))
    , m_eyes(std::make_unique<EyeTracker>(m_pointerWatch.get()))
    , m_eyesItem(std::make_unique<EyesStatusItem>())
    , m_router(m_settings)
    , m_clipboard(std::make_unique<ClipboardMonitor>())
    , m_clipboardHotKey(std::make_unique<GlobalHotKey>(m_input.get()))
    , m_frontmost(std::make_unique<ActiveWindowWatcher>(m_input.get()))
    , m_chime(std::make_unique<Chime>())
    , m_updates(std::make_unique<UpdateChecker>())
    , m_shelfWatch(std::make_unique<ShelfWatch>())
    , m_fileManager(std::make_unique<FileManager>())
{
    runningProgram = QCoreApplication::applicationFilePath();
    m_updates->feedURL = configuredUpdateFeed();
    // Both power monitors read one picture of UPower's devices.
    const auto upower = std::make_shared<UPowerDevices>();
    m_power = std::make_unique<PowerMonitor>(upower);
    m_accessories = std::make_unique<DeviceBatteryMonitor>(upower);
    m_clockTick.setSingleShot(true);
    connect(&m_clockTick, &QTimer::timeout, this, &AppDelegate::clockTicked);
    m_timerClock.setInterval(200);
    connect(&m_timerClock, &QTimer::timeout, this, &AppDelegate::tickTimers);
    m_accessibilityRecheck.setSingleShot(true);
    m_accessibilityRecheck.setInterval(500);
    connect(&m_accessibilityRecheck, &QTimer::timeout, this, &AppDelegate::recheckAccessibility);
    m_pasteLimit.setSingleShot(true);
    connect(&m_pasteLimit, &QTimer::timeout, this, &AppDelegate::pasteTargetStayedAway);
    m_updateDelay.setSingleShot(true);
    connect(&m_updateDelay, &QTimer::timeout, this, &AppDelegate::automaticUpdateCheck);
    m_onboardingDelay.setSingleShot(true);
    connect(&m_onboardingDelay, &QTimer::timeout, this, &AppDelegate::presentOnboarding);
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

bool AppDelegate::unregisterModeRequested()
{
    return qgetenv("NIMBRA_UNREGISTER_LOGIN") == "1";
}

int AppDelegate::runUnregisterMode()
{
    QString error;
    const bool removed = LoginItem().unregisterItem(&error);
    // The preference follows the request even when the entry could not be removed, and it
    // must reach the disk before the run ends: a setting still on would register it again.
    m_settings.setLaunchAtLogin(false);
    QString saveError;
    const bool saved = m_settings.defaults().flush(&saveError);
    const QByteArray path = QCoreApplication::applicationFilePath().toUtf8();
    if (!removed)
        std::fprintf(
            stderr, "could not unregister the login item for %s: %s\n", path.constData(), error.toUtf8().constData());
    if (!saved)
        std::fprintf(stderr, "could not turn off launch at login: %s\n", saveError.toUtf8().constData());
    if (!removed || !saved)
        return 1;
    std::fprintf(stdout, "login item unregistered for %s\n", path.constData());
    std::fflush(stdout);
    return 0;
}

// The launch sequence. Components that arrive with later features take their places in it
// where the comments say, in this order.
void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched || m_terminated)
        return;
    m_launched = true;

    // 1. The unregister mode only cleans up and quits.
    if (unregisterModeRequested()) {
        QCoreApplication::exit(runUnregisterMode());
        return;
    }
    // 2. The accessory policy is main()'s: no main window, and no quitting with the last window.

    // 3. The coordinator, with a content builder that holds the delegate weakly.
    QPointer<AppDelegate> self(this);
    m_appearance = std::make_unique<AppearancePortal>();
    m_coordinator = std::make_unique<DisplayCoordinator>(
        [self](const Presentation::Surface& surface, const SurfaceContext& context) -> QWidget* {
            return self ? self->view(surface, context) : new QWidget;
        },
        m_input.get());
    m_coordinator->adoptContent = &AppDelegate::adoptContent;
    // 4. The player's position is corrected only while some surface shows it.
    m_coordinator->onVisibilityChange = [self](bool visible) {
        if (self)
            self->m_nowPlaying->setPositionVisible(visible);
    };
    // 5. Opening reads the accessory batteries; the keyboard follows the clipboard tab while
    //    expanded; closing the surface clears the finished timers it showed and the clipboard
    //    tab's search and selection.
    m_coordinator->onExpandedChange = [self](bool expanded) {
        if (!self || !self->m_coordinator)
            return;
        if (expanded)
            self->m_accessories->refresh();
        self->m_coordinator->setWantsKeyboard(expanded && self->m_tab == NotchSurfaceTab::clipboard);
        if (!expanded) {
            self->clearFinishedTimers();
            self->resetClipboardTab();
        }
    };
    // 6–7. One notch per display, then every setting pushed into it.
    m_coordinator->start();
    applySettings();

    // 8. The power monitor. The accessory batteries are followed too, so that an open surface
    //    shows one that comes, goes or changes its charge.
    m_power->onChange = [self](const PowerSnapshot& snapshot, const std::optional<PowerSnapshot::Event>& event) {
        if (self)
            self->handlePower(snapshot, event);
    };
    m_power->start();
    m_accessories->onChange = [self] {
        if (self && self->m_coordinator && self->m_coordinator->isAnythingExpanded()) {
            self->m_accessories->refresh();
            self->m_coordinator->refreshContent();
        }
    };
    m_accessories->start();
    // 9. Now playing, while it is switched on.
    m_nowPlaying->onChange
        = [self](const std::optional<NowPlayingTrack>& track, std::optional<NowPlayingTrack::Change> change) {
              if (self)
                  self->handleNowPlaying(track, change);
          };
    if (m_settings.nowPlayingEnabled())
        m_nowPlaying->start();
    // 10. The clipboard history redraws the surfaces; a fresh capture resets the selection so
    //     that the redraw selects the newest entry.
    m_clipboard->onChange = [self] {
        if (!self)
            return;
        self->normaliseSelection();
        if (self->m_coordinator)
            self->m_coordinator->refreshContent();
    };
    m_clipboard->onCapture = [self] {
        if (self)
            self->m_clipboardSelection.reset();
    };
    // 11. The clipboard tab's keys, the application in front (the paste target), leaving the
    //     application, and the shelf.
    installKeyMonitor();
    watchFrontmostApp();
    watchDeactivation();
    setUpShelf();
    // 12–13. The eyes redraw the eyes item on every published frame; then the eye settings
    //        and the clipboard settings once more.
    m_eyes->onChange = [self] {
        if (self)
            self->refreshEyes();
    };
    applyEyeSettings();
    applyClipboardSettings();
    // 14. Levels: key presses, and changes made by anyone.
    m_levels->onChange = [self](const SystemLevel& level) {
        if (self)
            self->levelKeyChanged(level);
    };
    m_levels->onObservedChange = [self](const SystemLevel& level) {
        if (self)
            self->levelObserved(level);
    };
    // An open status tab shows the volume as it is: gone with the sound server, back with it.
    m_levels->onVolumeAvailabilityChange = [self](bool) {
        if (self)
            self->refreshStatusTab();
    };
    m_levels->startObservingVolume();
    m_levels->startObservingBrightness();

    // 15. Whether the media keys can be taken on this display server at all.
    Diagnostics::log(Diagnostics::Category::level, [self] {
        return QStringLiteral("accessibility trusted = %1; program = %2")
            .arg(self->m_input->trust().isTrusted() ? "true" : "false", QCoreApplication::applicationFilePath());
    });
    // 16. The settings application has made the same call already.
    if (m_settings.hudReplacement())
        m_levels->startIntercepting();
    // 17. Whenever Nimbra becomes active, the keys are taken if they can be had by then.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [self](Qt::ApplicationState state) {
        if (self && state == Qt::ApplicationActive)
            self->accessibilityMayHaveChanged();
    });
    // 18. The settings window, built on its first show.
    createSettingsWindow();
    // 19. The status item, the update check and onboarding. Opening at login says what is on
    //     disk.
    installStatusItem();
    syncLaunchAtLogin();
    setUpUpdates();
    showOnboardingIfNeeded();

    // 20. From now on every observed settings change is re-applied.
    m_observation = std::make_unique<SettingsObservation>(m_settings);
    m_observation->onChange = [self] {
        if (self)
            self->applySettings();
    };
    m_observation->observe();

    // 21. The desktop's colour scheme, for the "system" appearance.
    m_appearance->onChange = [self](bool) {
        if (self && self->m_coordinator && self->m_settings.appearance() == Appearance::system) {
            self->m_coordinator->setTheme(self->currentTheme());
            if (self->m_settingsWindow)
                self->m_settingsWindow->applyAppearanceNow();
            if (self->m_onboarding)
                self->m_onboarding->setDark(self->currentTheme().isDark);
        }
    };

    // 22. Once the windows are up and the launch is done, the readouts rehearse their first frame.
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->prepareReadouts();
    });
}

bool AppDelegate::applicationShouldHandleReopen()
{
    Diagnostics::log(Diagnostics::Category::display, "reopened by another start");
    showSettings();
    return true;
}

// The stop sequence, run once: at quit, on SIGTERM or SIGINT, or when the delegate goes.
void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    m_clockTick.stop();
    // 1. The power monitor.
    m_power->stop();
    // 2–3. The eyes stop watching and leave the tray, and so does the plain item.
    m_eyes->stop();
    m_eyesItem->hide();
    m_statusItem.reset();
    // 4–8. The clipboard monitor, its hot key, the key monitor and the watchers.
    m_clipboard->stop();
    m_clipboardHotKey->unbind();
    m_hotKeyCombo.reset();
    if (m_keyMonitor) {
        QCoreApplication::instance()->removeEventFilter(m_keyMonitor.get());
        m_keyMonitor.reset();
    }
    disconnect(m_deactivationWatcher);
    disconnect(m_focusWatcher);
    m_pasteLimit.stop();
    m_frontmost->cancelHandBack();
    // 9. The timer clock, and the pending checks of key takeover and updates.
    m_timerClock.stop();
    m_accessibilityRecheck.stop();
    m_updateDelay.stop();
    m_onboardingDelay.stop();
    // 10. Now playing.
    m_nowPlaying->stop();
    // 11. Gives the media keys back.
    m_levels->stopIntercepting();
    // 12. Tears down every display's windows.
    if (m_coordinator)
        m_coordinator->stop();
}

} // namespace nimbra
