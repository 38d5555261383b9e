#pragma once

#include "app/activity_router.h"
#include "core/key_combo.h"
#include "core/notch_geometry.h"
#include "core/power_snapshot.h"
#include "core/presentation.h"
#include "core/shelf_store.h"
#include "core/timers.h"
#include "core/uptime.h"
#include "core/version.h"
#include "modules/shell/notch_nav_row.h"
#include "ui/settings/keyboard_status.h"
#include "ui/settings/live_levels.h"
#include "ui/surface/notch_theme.h"

#include <QImage>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <chrono>
#include <functional>
#include <memory>

class QKeyEvent;
class QMenu;
class QWidget;
class QWindow;

namespace nimbra {

class AppearancePortal;
class ActiveWindowWatcher;
class Chime;
class ClipboardMonitor;
class GlobalHotKey;
class LoginItem;
class DeviceBatteryMonitor;
class DisplayCoordinator;
class EyesStatusItem;
class EyeTracker;
class FileManager;
class NimbraSettings;
class PointerWatch;
class PowerMonitor;
class NowPlayingMonitor;
class OnboardingWindowController;
class SettingsObservation;
class SettingsWindowController;
class ShelfWatch;
class SystemLevelMonitor;
class TrayItem;
class UpdateChecker;
class X11InputBridge;
struct SurfaceContext;
struct SurfaceMetrics;

// The composition root: owns every long-lived component for the whole run, starts them in
// one fixed order, installs the callbacks through which they report back, pushes the settings
// into them (again after every observed change) and stops them at termination.
//
// Its operations live in one file per concern: launch and stop (app_delegate.cpp), settings
// application (settings_application.cpp), activity routing (activity_routing.cpp), surface
// content (surface_content.cpp), the clipboard's keyboard and paste-back
// (clipboard_keyboard.cpp), the timer clock and actions (timer_actions.cpp), the settings
// window with its closures (settings_window.cpp), opening at login (login_item.cpp), key
// takeover (accessibility.cpp), update offers (update_offers.cpp), onboarding (onboarding.cpp),
// the shelf (shelf_actions.cpp) and the status item, menu and eyes (status_menu.cpp).
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // `settings` defaults to the shared store of the run.
    explicit AppDelegate(NimbraSettings* settings = nullptr, QObject* parent = nullptr);
    ~AppDelegate() override;

    // NIMBRA_UNREGISTER_LOGIN is exactly "1": the run only removes the login item and quits.
    static bool unregisterModeRequested();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Another start of Nimbra handed over to this one.
    bool applicationShouldHandleReopen();

    // Pushes every setting into the components: once at launch, then after each observed change.
    void applySettings();
    void applyClipboardSettings();
    NotchTheme currentTheme() const;

    // Activity routing: the two level callbacks, both ending in handleLevel().
    void levelKeyChanged(const SystemLevel& level);
    void levelObserved(const SystemLevel& level);
    void handleLevel(const SystemLevel& level, bool announce);
    // Every power reading: the charger and low-battery readouts.
    void handlePower(const PowerSnapshot& snapshot, const std::optional<PowerSnapshot::Event>& event);
    // The one place that decides the resident module for every feature that keeps a readout
    // on the collapsed notch, so that no feature wipes another's.
    std::optional<ModuleID> residentModule() const;
    void updateResident();
    // The player's changes: resident, focus, tab, artwork and the music readout.
    void handleNowPlaying(const std::optional<NowPlayingTrack>& track, std::optional<NowPlayingTrack::Change> change);

    // Once at launch, off its path: the readouts paint a first frame off screen, so that the
    // first one shown has its fonts and icons ready and paints within a frame's time.
    void prepareReadouts();

    // The content builder every notch asks for the view of its surface.
    QWidget* view(const Presentation::Surface& surface, const SurfaceContext& context);
    // Lets a shown level readout take a newer reading of the same kind instead of being
    // replaced, so repeated key presses move its bar without landing it again.
    static bool adoptContent(QWidget* current, QWidget* fresh);
    QList<NotchSurfaceTab> liveTabs() const;
    QWidget* expandedSurface(const SurfaceContext& context);
    void selectTab(NotchSurfaceTab tab);
    NotchSurfaceTab tab() const { return m_tab; }

    // The status tab's clock is drawn from the time it was built with, so while the status tab
    // is open one single-shot timer rebuilds it when the minute turns; closed, nothing runs.
    static int msecsToNextMinute(const QTime& now);
    bool isClockTickArmed() const { return m_clockTick.isActive(); }
    void clockTicked();
    // Rebuilds an open status tab with what it shows read afresh.
    void refreshStatusTab();

    // The clipboard tab: its search text and keyboard selection, the hot key's action, and
    // the keys that act on the list while the tab has the keyboard.
    ClipboardMonitor& clipboard() const { return *m_clipboard; }
    GlobalHotKey& clipboardHotKey() const { return *m_clipboardHotKey; }
    // The application a paste goes to: the last other one that was in front.
    ActiveWindowWatcher& frontmost() const { return *m_frontmost; }
    const QString& clipboardQuery() const { return m_clipboardQuery; }
    const std::optional<QUuid>& clipboardSelection() const { return m_clipboardSelection; }
    void setClipboardQuery(const QString& query);
    void normaliseSelection();
    // How the tab opens: an empty search and the first entry selected.
    void resetClipboardTab();
    void openClipboard();
    // Copies the entry, closes the surface and, once the application that was in front holds
    // the keyboard again, types the paste keys into it; when it does not take the keyboard
    // within `pasteHandBackLimit` the entry stays copied only.
    void paste(const QUuid& id);
    std::chrono::milliseconds pasteHandBackLimit { 3000 };
    // True when the key was the clipboard list's and goes no further.
    bool handleClipboardKey(QObject* receiver, const QKeyEvent& event);
    // Timers: the tab's controls act on the selected mode, a 0.2 s clock runs only while a timer
    // runs, and each action ends in syncTimerClock(), which also hands the resident over.
    const TimerSet& timers() const { return m_timers; }
    void selectTimerMode(TimerMode mode);
    void toggleTimer();
    void timerSecondary();
    void resetTimer();
    void adjustCountdown(double seconds);
    void syncTimerClock();
    void tickTimers();
    // Announces what ended in one tick (a countdown, a focus phase, or both): the chime, then
    // one readout that shows each announcement in turn.
    void announce(const QList<TimerFinish>& finishes);
    // The expanded surface closed: finished timers have been seen.
    void clearFinishedTimers();
    bool isTimerClockRunning() const { return m_timerClock.isActive(); }
    QWidget* timerResidentView(const SurfaceMetrics& metrics);
    QWidget* timerSurface(const SurfaceMetrics& metrics);
    // The timers count time asleep (`withSleep`); their views animate on `awake`. Replaceable
    // in tests, which move `withSleep` alone for a suspend.
    Clocks clocks;
    Chime& chime() const { return *m_chime; }

    // The settings window: created once at launch, shown by the tray menu's "Settings…", the
    // notch's settings tab and a second start of Nimbra.
    void createSettingsWindow();
    void showSettings();
    SettingsWindowController* settingsWindow() const { return m_settingsWindow.get(); }
    // The closures the settings window is given.
    static std::optional<NotchGeometry> liveGeometry();
    LiveLevels liveLevels() const;

    // Opening at login: the desktop's autostart entry, written only for an installed copy; a
    // refusal or failure is said in an alert and the setting keeps what is on disk.
    void setLaunchAtLogin(bool on);
    // At launch the setting says whether the entry would start this Nimbra; a stale entry the
    // setting still wants is pointed at this installed copy.
    void syncLaunchAtLogin();
    // The program opening at login would register; replaceable in tests.
    QString runningProgram;

    // Key takeover: whether the display server lets Nimbra take the media keys and paste;
    // the request asks it again and, with HUD replacement on, takes the keys. Whenever Nimbra
    // becomes active, a check half a second later takes them if they can be had by then.
    bool isAccessibilityGranted() const;
    void requestAccessibility();
    void accessibilityMayHaveChanged();
    // What Nimbra holds of the keyboard, for the settings pages; asks the server which media
    // keys another program holds while they are not taken.
    KeyboardStatus keyboardStatus() const;

    // Updates: an automatic check 8 s after launch (when allowed at launch and still when it
    // is due) that speaks only to offer a newer version, and the manual check, which always
    // answers.
    void setUpUpdates();
    void announceUpdate(const UpdateManifest& manifest);
    void checkForUpdates();
    UpdateChecker& updates() const { return *m_updates; }
    QMessageBox* updateAlert() const { return m_updateAlert; }
    bool isAutomaticCheckPending() const { return m_updateDelay.isActive(); }
    // The feed this build names, and why updates cannot be checked without one (empty with one).
    static std::optional<QUrl> configuredUpdateFeed();
    QString updatesUnavailable() const;
    // The shelf: files dropped on a notch, kept by path across restarts.
    void setUpShelf();
    // True when a dropped file landed on the shelf; a drop none of whose files can land is
    // refused and changes nothing.
    bool handleDropFiles(const QList<QUrl>& urls);
    void handleDragHover(bool hovering);
    // The side of the tiles whose thumbnails a drop prepares.
    double shelfTileSide() const;
    const ShelfStore& shelf() const { return m_shelf; }
    bool isReceivingDrop() const { return m_isReceivingDrop; }
    bool isShelfSelecting() const { return m_isShelfSelecting; }
    const QSet<QUuid>& shelfSelection() const { return m_shelfSelection; }
    ShelfWatch& shelfWatch() const { return *m_shelfWatch; }

    // Status item, menu and eyes. Exactly one tray item carries the menu: the plain mark while
    // the eyes are off, the eyes while they are on.
    void installStatusItem();
    void syncStatusItems();
    std::unique_ptr<QMenu> makeMenu();
    void applyEyeSettings();
    // The tracker published a frame: hand it to the eyes item, with the item's place first.
    void refreshEyes();
    // The menu's battery preview.
    void previewActivity();

    // Onboarding: at the first start its window shows 0.4 s after launch; closing it in any
    // way records it as seen and lets it go.
    void showOnboardingIfNeeded();
    OnboardingWindowController* onboarding() const { return m_onboarding.get(); }

    NimbraSettings& settings() const { return m_settings; }
    DisplayCoordinator* coordinator() const { return m_coordinator.get(); }
    SystemLevelMonitor& levels() const { return *m_levels; }
    PowerMonitor& power() const { return *m_power; }
    DeviceBatteryMonitor& accessories() const { return *m_accessories; }
    // The one X11 input bridge: every key grab, XTest event and pointer watch goes through it.
    X11InputBridge& input() const { return *m_input; }
    NowPlayingMonitor& nowPlaying() const { return *m_nowPlaying; }
    // The cover of the current track, once it arrived.
    const QImage& artwork() const { return m_artwork; }
    const ActivityRouter& router() const { return m_router; }
    EyeTracker& eyes() const { return *m_eyes; }
    EyesStatusItem& eyesItem() const { return *m_eyesItem; }
    TrayItem* statusItem() const { return m_statusItem.get(); }
    QMenu* menu() const { return m_menu.get(); }
    // Settings re-applications so far (the one at launch included).
    int settingsApplications() const { return m_settingsApplications; }

private:
    int runUnregisterMode();
    QWidget* activityView(const Activity& activity, const SurfaceMetrics& metrics);
    QWidget* clipboardView(const SurfaceMetrics& metrics);
    void installKeyMonitor();
    void watchFrontmostApp();
    void watchDeactivation();
    // Nimbra stopped being the active application.
    void resignedActive();
    void sendPasteKeys(const QString& target, bool terminal);
    void pasteTargetStayedAway();
    QWidget* musicTab(const SurfaceMetrics& metrics);
    void applyNowPlayingSettings();
    void loginItemFailed(const LoginItem& item, const QString& error);
    QWidget* settingsWindowForAlerts() const;
    void recheckAccessibility();
    void automaticUpdateCheck();
    QWidget* shelfView(const SurfaceMetrics& metrics);
    // After the shelf changed: prunes files that are gone, drops the thumbnails of items that
    // left since `before`, remembers the paths when they changed and watches the files.
    void settleShelf(const QList<ShelfItem>& before);
    // The dropped files that land on a shelf with `room` places, standardized, in the order
    // given: existing local files with reachable names, and only the newest `room` of them.
    static QList<QUrl> landingFiles(const QList<QUrl>& urls, qsizetype room);
    void shelfFilesChanged(const QStringList& paths);
    void removeFromShelf(const QUuid& id);
    void deleteSelectedFromShelf();
    void leaveShelfSelection();
    void presentOnboarding();
    void finishOnboarding();

    NimbraSettings& m_settings;
    std::unique_ptr<AppearancePortal> m_appearance;
    std::unique_ptr<DisplayCoordinator> m_coordinator;
    std::unique_ptr<SettingsObservation> m_observation;
    // Before every feature that takes input through it, so that it outlives them.
    std::unique_ptr<X11InputBridge> m_input;
    std::unique_ptr<SystemLevelMonitor> m_levels;
    std::unique_ptr<PowerMonitor> m_power;
    std::unique_ptr<DeviceBatteryMonitor> m_accessories;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    std::unique_ptr<NowPlayingMonitor> m_nowPlaying;
    std::unique_ptr<PointerWatch> m_pointerWatch;
    std::unique_ptr<EyeTracker> m_eyes;
    std::unique_ptr<EyesStatusItem> m_eyesItem;
    // The plain status item while the eyes are off, and the menu the current item carries.
    std::unique_ptr<TrayItem> m_statusItem;
    std::unique_ptr<QMenu> m_menu;
    ActivityRouter m_router;
    std::unique_ptr<ClipboardMonitor> m_clipboard;
    std::unique_ptr<GlobalHotKey> m_clipboardHotKey;
    // The combination last handed to the hot key: each bind is four grabs, so settings that
    // are applied many times a second do not re-bind an unchanged one.
    std::optional<KeyCombo> m_hotKeyCombo;
    std::unique_ptr<ActiveWindowWatcher> m_frontmost;
    QString m_clipboardQuery;
    std::optional<QUuid> m_clipboardSelection;
    // A paste waiting for its application to take the keyboard back, and its name.
    QTimer m_pasteLimit;
    QString m_pasteTargetName;
    std::unique_ptr<QObject> m_keyMonitor;
    QMetaObject::Connection m_deactivationWatcher;
    QMetaObject::Connection m_focusWatcher;
    QPointer<QWindow> m_lastFocusWindow;
    // The expanded surface's selected tab, kept across openings even while it is not live.
    NotchSurfaceTab m_tab = NotchSurfaceTab::music;
    QTimer m_clockTick;
    TimerSet m_timers;
    QTimer m_timerClock;
    std::unique_ptr<Chime> m_chime;
    // Now playing: whether music holds the notch, and the cover with the identity of the track
    // it belongs to.
    bool m_musicHoldsNotch = false;
    QImage m_artwork;
    std::optional<QString> m_artworkTrackID;
    QString m_artworkAddress;
    QTimer m_accessibilityRecheck;
    std::unique_ptr<UpdateChecker> m_updates;
    QTimer m_updateDelay;
    QPointer<QMessageBox> m_updateAlert;
    ShelfStore m_shelf { 24 };
    bool m_isReceivingDrop = false;
    bool m_isShelfSelecting = false;
    QSet<QUuid> m_shelfSelection;
    std::unique_ptr<ShelfWatch> m_shelfWatch;
    std::unique_ptr<FileManager> m_fileManager;
    std::unique_ptr<OnboardingWindowController> m_onboarding;
    QTimer m_onboardingDelay;
    int m_settingsApplications = 0;
    bool m_launched = false;
    bool m_terminated = false;
};

} // namespace nimbra
