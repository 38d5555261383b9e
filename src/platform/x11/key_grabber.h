#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <set>

namespace nimbra {

class X11InputBridge;

// The keys that change a system level.
enum class MediaKey {
    raiseVolume,
    lowerVolume,
    mute,
    brightnessUp,
    brightnessDown,
    keyboardBrightnessUp,
    keyboardBrightnessDown,
};

// The X keysym name, e.g. "XF86AudioRaiseVolume".
QString keysymName(MediaKey key);
// What the desktop calls the key, e.g. "Volume Up".
QString keyName(MediaKey key);
std::uint32_t keysym(MediaKey key);

// Takes media keys away from the desktop with passive grabs on the root window, through the
// process's input bridge. Each key is grabbed alone, with Shift, with Alt and with Alt+Shift
// (the fine step), in every lock state. Desktop daemons often hold some media keys already, and
// X grants a key to one client only, so each key is taken on its own: a key another program
// holds stays with it (one diagnostics line names it) and the others are ours. A keyboard
// mapping change (xmodmap, a new keyboard) re-grabs where the keys sit now without letting go
// of those whose key codes did not move. A press (auto-repeat included) is reported; releases
// are swallowed.
class KeyGrabber final : public QObject {
    Q_OBJECT
public:
    explicit KeyGrabber(X11InputBridge& input, QObject* parent = nullptr);
    ~KeyGrabber() override;

    // Takes exactly `keys` where it can, releasing any other; returns the keys taken. Keys
    // without a key code are skipped (and taken once the mapping gives them one).
    std::set<MediaKey> grab(const std::set<MediaKey>& keys);
    void ungrab();

    // The keys held right now.
    std::set<MediaKey> grabbedKeys() const;
    // Wanted keys that have a key code but are held by another program.
    std::set<MediaKey> refusedKeys() const { return m_refused; }
    // Which of `keys` another program holds now, asked with grabs that are let go at once;
    // keys held here count as free.
    static std::set<MediaKey> heldElsewhere(X11InputBridge& input, const std::set<MediaKey>& keys);

    // A grabbed key went down; `fine` when both Alt and Shift were held.
    std::function<void(MediaKey key, bool fine)> onPress;
    // The held keys changed after a keyboard mapping change.
    std::function<void()> onGrabsChanged;

private:
    void regrab();
    void pressed(std::uint8_t keycode, std::uint16_t state);

    struct Held {
        MediaKey key;
        std::uint16_t altMask;
    };
    X11InputBridge& m_input;
    std::set<MediaKey> m_wanted;
    // Every key code we hold, with its key and the Alt bit its combinations were made with.
    std::map<std::uint8_t, Held> m_held;
    std::set<MediaKey> m_refused;
};

} // namespace nimbra
