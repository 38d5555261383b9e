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
// combination another program holds is refused as a whole.
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

    bool isBound() const { return m_grab.has_value(); }
    std::optional<KeyCombo> boundCombo() const { return m_grab ? std::optional(m_combo) : std::nullopt; }
    // The id of the current registration (0 before the first).
    std::uint32_t registration() const { return m_id; }

    // The X modifier mask of a combination's modifiers, given where Super and Alt sit.
    static std::uint16_t modifierMask(std::uint32_t modifiers, std::uint16_t superMask, std::uint16_t altMask);

private:
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };
    std::optional<Grab> grabFor(const KeyCombo& combo) const;
    void pressed(std::uint8_t keycode, std::uint16_t state);
    void regrab();

    X11InputBridge* m_input;
    KeyCombo m_combo;
    std::function<void()> m_action;
    std::uint32_t m_id = 0;
    std::optional<Grab> m_grab;
};

} // namespace nimbra
