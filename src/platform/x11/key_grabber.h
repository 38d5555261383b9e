#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace nimbra {

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
std::uint32_t keysym(MediaKey key);

// Takes media keys away from the desktop with passive grabs on the root window, through a
// connection of its own so it works beside any Qt platform plugin. Each key is grabbed alone,
// with Shift, with Alt and with Alt+Shift (the fine step), each also with Caps Lock and Num
// Lock on. A press (auto-repeat included) is reported; releases are swallowed.
class KeyGrabber final : public QObject {
    Q_OBJECT
public:
    // `display`: empty for $DISPLAY.
    explicit KeyGrabber(const QByteArray& display = {}, QObject* parent = nullptr);
    ~KeyGrabber() override;

    bool isConnected() const;

    enum class GrabResult {
        grabbed, // every key that has a key code is ours now (possibly none)
        refused, // another program holds one of them: nothing is grabbed
        noConnection,
    };
    // Grabs exactly `keys`, releasing any other. Keys without a key code are skipped.
    GrabResult grab(const std::set<MediaKey>& keys);
    void ungrab();

    // The keys currently held (only those that have a key code).
    std::set<MediaKey> grabbedKeys() const;
    // The key whose grab was refused by the last grab().
    std::optional<MediaKey> refusedKey() const;

    // A grabbed key went down; `fine` when both Alt and Shift were held.
    std::function<void(MediaKey key, bool fine)> onPress;
    // The grabs were lost after a keyboard mapping change re-grab was refused.
    std::function<void()> onGrabLost;

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace nimbra
