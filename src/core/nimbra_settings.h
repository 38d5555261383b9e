#pragma once

#include "core/activity.h"
#include "core/appearance.h"
#include "core/clipboard_store.h"
#include "core/eye_motion.h"
#include "core/hover_intent.h"
#include "core/key_combo.h"
#include "core/notch_geometry.h"
#include "core/settings_storage.h"
#include "core/timers.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <set>

namespace nimbra {

// Every user preference in one observable object. Each property has a dotted key in the
// storage underneath, and every assignment writes its key at once, even when the value did not
// change. `changed` fires only on a real change, and always after an in-place mutation.
// Creating the store reads its storage and writes nothing.
//
// Used on the main thread only.
class NimbraSettings final : public QObject {
    Q_OBJECT

public:
    using Appearance = nimbra::Appearance;
    using ClockFont = nimbra::ClockFont;

    enum class Property {
        hoverDwell,
        velocityCeiling,
        clipboardEnabled,
        clipboardHistoryLimit,
        clipboardKeepsImages,
        clipboardHotKey,
        clipboardAutoCloseSeconds,
        hasSeenOnboarding,
        checksForUpdates,
        eyesEnabled,
        eyeStyle,
        shelfEnabled,
        shelfPersists,
        timerChimeEnabled,
        pomodoroWorkMinutes,
        pomodoroBreakMinutes,
        pomodoroLongBreakMinutes,
        pomodoroCycles,
        brightnessNeedsKeyPress,
        activityOrder,
        nowPlayingEnabled,
        nowPlayingResident,
        nowPlayingActivity,
        hudReplacement,
        glanceEnabled,
        powerEnabled,
        powerActivityEnabled,
        lowBatteryLevels,
        layout,
        clockFont,
        appearance,
        showOnAllDisplays,
        launchAtLogin,
    };
    Q_ENUM(Property)
    static constexpr int propertyCount = int(Property::launchAtLogin) + 1;

    // The levels the settings window offers for low-battery alerts.
    static const std::array<int, 7>& availableBatteryLevels();

    // The one store of the run, over the settings file (JsonFileSettingsStorage::defaultPath()).
    // Created on first use and never destroyed; the file is written at quit.
    static NimbraSettings& shared();

    explicit NimbraSettings(std::shared_ptr<SettingsStorage> defaults, QObject* parent = nullptr);
    ~NimbraSettings() override;

    SettingsStorage& defaults() const { return *m_defaults; }

    // Not finite assigned to a double setting, or below 1 to a setting that must be positive
    // (history limit, pomodoro lengths and cycles), stores that setting's default instead.
    double hoverDwell() const { return m_hoverDwell; }
    void setHoverDwell(double seconds);
    double velocityCeiling() const { return m_velocityCeiling; }
    void setVelocityCeiling(double pointsPerSecond);

    bool clipboardEnabled() const { return m_clipboardEnabled; }
    void setClipboardEnabled(bool on);
    int clipboardHistoryLimit() const { return m_clipboardHistoryLimit; }
    void setClipboardHistoryLimit(int items);
    bool clipboardKeepsImages() const { return m_clipboardKeepsImages; }
    void setClipboardKeepsImages(bool on);
    KeyCombo clipboardHotKey() const { return m_clipboardHotKey; }
    void setClipboardHotKey(KeyCombo combo);
    void mutateClipboardHotKey(const std::function<void(KeyCombo&)>& change);
    // 0 means the clipboard surface never closes by itself.
    int clipboardAutoCloseSeconds() const { return m_clipboardAutoCloseSeconds; }
    void setClipboardAutoCloseSeconds(int seconds);

    bool hasSeenOnboarding() const { return m_hasSeenOnboarding; }
    void setHasSeenOnboarding(bool seen);
    bool checksForUpdates() const { return m_checksForUpdates; }
    void setChecksForUpdates(bool on);

    bool eyesEnabled() const { return m_eyesEnabled; }
    void setEyesEnabled(bool on);
    const EyeStyle& eyeStyle() const { return m_eyeStyle; }
    void setEyeStyle(const EyeStyle& style);
    void mutateEyeStyle(const std::function<void(EyeStyle&)>& change);

    bool shelfEnabled() const { return m_shelfEnabled; }
    void setShelfEnabled(bool on);
    bool shelfPersists() const { return m_shelfPersists; }
    void setShelfPersists(bool on);
    // The shelf's remembered paths: written as given while the shelf persists, else emptied.
    void storeShelf(const QStringList& paths);
    QStringList storedShelfPaths() const;

    bool timerChimeEnabled() const { return m_timerChimeEnabled; }
    void setTimerChimeEnabled(bool on);
    int pomodoroWorkMinutes() const { return m_pomodoroWorkMinutes; }
    void setPomodoroWorkMinutes(int minutes);
    int pomodoroBreakMinutes() const { return m_pomodoroBreakMinutes; }
    void setPomodoroBreakMinutes(int minutes);
    int pomodoroLongBreakMinutes() const { return m_pomodoroLongBreakMinutes; }
    void setPomodoroLongBreakMinutes(int minutes);
    int pomodoroCycles() const { return m_pomodoroCycles; }
    void setPomodoroCycles(int cycles);

    bool brightnessNeedsKeyPress() const { return m_brightnessNeedsKeyPress; }
    void setBrightnessNeedsKeyPress(bool on);

    // First is the highest priority.
    const QList<ActivityCategory>& activityOrder() const { return m_activityOrder; }
    void setActivityOrder(const QList<ActivityCategory>& order);
    void mutateActivityOrder(const std::function<void(QList<ActivityCategory>&)>& change);

    bool nowPlayingEnabled() const { return m_nowPlayingEnabled; }
    void setNowPlayingEnabled(bool on);
    bool nowPlayingResident() const { return m_nowPlayingResident; }
    void setNowPlayingResident(bool on);
    bool nowPlayingActivity() const { return m_nowPlayingActivity; }
    void setNowPlayingActivity(bool on);
    bool hudReplacement() const { return m_hudReplacement; }
    void setHudReplacement(bool on);
    bool glanceEnabled() const { return m_glanceEnabled; }
    void setGlanceEnabled(bool on);
    bool powerEnabled() const { return m_powerEnabled; }
    void setPowerEnabled(bool on);
    bool powerActivityEnabled() const { return m_powerActivityEnabled; }
    void setPowerActivityEnabled(bool on);
    const std::set<int>& lowBatteryLevels() const { return m_lowBatteryLevels; }
    void setLowBatteryLevels(const std::set<int>& percents);
    void mutateLowBatteryLevels(const std::function<void(std::set<int>&)>& change);

    const LayoutMetrics& layout() const { return m_layout; }
    void setLayout(const LayoutMetrics& layout);
    void mutateLayout(const std::function<void(LayoutMetrics&)>& change);

    ClockFont clockFont() const { return m_clockFont; }
    void setClockFont(ClockFont font);
    Appearance appearance() const { return m_appearance; }
    void setAppearance(Appearance appearance);
    bool showOnAllDisplays() const { return m_showOnAllDisplays; }
    void setShowOnAllDisplays(bool on);
    bool launchAtLogin() const { return m_launchAtLogin; }
    void setLaunchAtLogin(bool on);

    // Derived values.
    HoverIntent::Configuration hoverConfiguration() const;
    ClipboardStore::Limits clipboardLimits() const;
    Pomodoro::Configuration pomodoroConfiguration() const;
    bool lowBatteryAlerts() const { return !m_lowBatteryLevels.empty(); }
    // (4 − the category's first place in activityOrder) × 10; a category missing from the order
    // takes its place in the default order.
    int priority(ActivityCategory category) const;

    // Restores the hover, now-playing, HUD, glance, power, low-battery, display and layout
    // settings; everything else is left as it is.
    void resetToDefaults();

Q_SIGNALS:
    void changed(nimbra::NimbraSettings::Property property);

private:
    void load();
    EyeStyle loadEyeStyle() const;

    template <typename T, typename Writer> void assign(T& field, const T& value, Property property, Writer&& write);
    template <typename T, typename Writer>
    void mutate(T& field, const std::function<void(T&)>& change, Property property, Writer&& write);

    void assignBool(bool& field, bool on, Property property, const char* key);
    void writeEyeStyle();
    void writeActivityOrder();
    void writeLowBatteryLevels();
    void persist(const LayoutMetrics& layout);

    std::shared_ptr<SettingsStorage> m_defaults;

    double m_hoverDwell;
    double m_velocityCeiling;
    bool m_clipboardEnabled;
    int m_clipboardHistoryLimit;
    bool m_clipboardKeepsImages;
    KeyCombo m_clipboardHotKey;
    int m_clipboardAutoCloseSeconds;
    bool m_hasSeenOnboarding;
    bool m_checksForUpdates;
    bool m_eyesEnabled;
    EyeStyle m_eyeStyle;
    bool m_shelfEnabled;
    bool m_shelfPersists;
    bool m_timerChimeEnabled;
    int m_pomodoroWorkMinutes;
    int m_pomodoroBreakMinutes;
    int m_pomodoroLongBreakMinutes;
    int m_pomodoroCycles;
    bool m_brightnessNeedsKeyPress;
    QList<ActivityCategory> m_activityOrder;
    bool m_nowPlayingEnabled;
    bool m_nowPlayingResident;
    bool m_nowPlayingActivity;
    bool m_hudReplacement;
    bool m_glanceEnabled;
    bool m_powerEnabled;
    bool m_powerActivityEnabled;
    std::set<int> m_lowBatteryLevels;
    LayoutMetrics m_layout;
    ClockFont m_clockFont;
    Appearance m_appearance;
    bool m_showOnAllDisplays;
    bool m_launchAtLogin;
};

QString rawValue(NimbraSettings::Property property);

} // namespace nimbra
