#pragma once

#include "core/key_combo.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>

namespace nimbra {

class X11InputBridge;

// One system-wide keyboard shortcut bound to an action, working while any application is in
// front: a passive grab on the root window through the process's input bridge. The stored
// command bit is Super, option Alt; the grab covers every Caps Lock and Num Lock state, and a
// combination another program holds is refused as a whole. A refused combination stays wanted:
// retry() (the shell calls it when Nimbra comes to the front) and a keyboard mapping change
// take it once the other program has let it go.
class GlobalHotKey final : public QObject {
    Q_OBJECT
public:
    // Without an input bridge (or X server) every bind is refused.
    explicit GlobalHotKey(X11InputBridge* input, QObject* parent = nullptr);
    ~GlobalHotKey() override;

    // Replaces any current binding; true when the shortcut is now ours. A combination without
    // Super, Alt or Ctrl is refused without a log line; one the server refuses is logged.
    bool bind(const KeyCombo& combo, std::function<void()> action);
    // Safe at any time.
    void unbind();
    // Takes the combination another program held, if it is free now; true when bound.
    bool retry();

    bool isBound() const { return m_grab.has_value(); }
    // The combination last bound is wanted, and another program holds it.
    bool isHeldElsewhere() const { return m_heldElsewhere; }
    // Whether binding `combo` would be refused because another program holds it (asked with a
    // grab let go at once); the combination bound here is not.
    bool wouldBeRefused(const KeyCombo& combo);
    std::optional<KeyCombo> boundCombo() const { return m_grab ? std::optional(m_combo) : std::nullopt; }
    // The id of the current registration (0 before the first).
    std::uint32_t registration() const { return m_id; }

Q_SIGNALS:
    // Bound, let go, or held elsewhere: isBound() or isHeldElsewhere() changed.
    void bindingChanged();

private:
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };
    std::optional<Grab> grabFor(const KeyCombo& combo) const;
    // Grabs the wanted combination; logs and reports how that went.
    bool take();
    void pressed(std::uint8_t keycode, std::uint16_t state);
    void regrab();
    void setState(std::optional<Grab> grab, bool heldElsewhere);

    X11InputBridge* m_input;
    KeyCombo m_combo;
    std::function<void()> m_action;
    std::uint32_t m_id = 0;
    std::optional<Grab> m_grab;
    bool m_heldElsewhere = false;
};

} // namespace nimbra
