#pragma once

#include "core/activity.h"
#include "core/system_level.h"
#include "platform/x11/key_grabber.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace nimbra {

class PulseVolume;
class Backlight;
class KbdBacklight;
class X11InputBridge;

// Owns the system levels: output volume and mute, display brightness and keyboard backlight.
// With interception on it takes the media keys away from the desktop, performs their change
// and reports it through `onChange`; changes made anywhere else arrive through
// `onObservedChange`. Main thread only.
class SystemLevelMonitor final : public QObject {
    Q_OBJECT
public:
    static const ModuleID moduleID;

    // Where the levels live. The defaults are this session's.
    struct Sources {
        QString pulseServer {}; // empty: libpulse's own choice
        QString sysfsRoot = QStringLiteral("/sys");
        std::optional<QDBusConnection> systemBus {}; // none: the system bus
        QString sessionPath = QStringLiteral("/org/freedesktop/login1/session/auto");
        // The process's input bridge, through which the media keys are taken; none: they
        // cannot be taken. Not owned; it outlives the monitor.
        X11InputBridge* input = nullptr;
    };

    explicit SystemLevelMonitor(Sources sources, QObject* parent = nullptr);
    ~SystemLevelMonitor() override;

    // The level a key changed, once the change was made.
    std::function<void(const SystemLevel&)> onChange;
    // A fresh reading after a change made by anyone else (only readable levels).
    std::function<void(const SystemLevel&)> onObservedChange;
    // The volume became readable or stopped being so (a sink or the sound server came or went).
    std::function<void(bool available)> onVolumeAvailabilityChange;

    // Takes the keys of every level that can be changed here. Interception is on while at least
    // one key is taken, or while there is none to take yet (keys are taken as levels appear);
    // it fails only when every key there is belongs to another program. True when interception
    // is on afterwards (also when it already was).
    bool startIntercepting();
    void stopIntercepting();
    bool isIntercepting() const;
    // The keys held right now: only those whose level can be changed.
    std::set<MediaKey> interceptedKeys() const;
    // The keys of the levels here that another program holds: while intercepting, those it was
    // refused; otherwise asked now, with grabs let go at once.
    std::set<MediaKey> keysHeldElsewhere();
    // While intercepting, asks again for the keys another program held.
    void retryRefusedKeys();

    // The current reading without side effects: none where nothing can be read, and a level
    // that can be read but not changed here unavailable with its value.
    std::optional<SystemLevel> read(SystemLevel::Kind kind) const;

    // One key's action. Volume is written at once and reported as stepped; brightness and the
    // keyboard backlight are reported as read back once the write was answered.
    void adjust(SystemLevel::Kind kind, int steps, bool fine);
    void toggleMute();

    void startObservingVolume();
    void startObservingBrightness();
    void stopObservingBrightness();
    bool isObservingBrightness() const;

private:
    void handleKey(MediaKey key, bool fine);
    std::set<MediaKey> changeableKeys() const;
    void regrab();
    // Whether the keys held now keep interception on.
    bool holdsKeys() const;
    void observed(const SystemLevel& level);

    Sources m_sources;
    std::unique_ptr<PulseVolume> m_volume;
    std::unique_ptr<Backlight> m_backlight;
    std::unique_ptr<KbdBacklight> m_keyboard;
    std::unique_ptr<KeyGrabber> m_grabber;
    bool m_isIntercepting = false;
    bool m_isObservingVolume = false;
    bool m_isObservingBrightness = false;
};

} // namespace nimbra
