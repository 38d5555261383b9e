#include "modules/clipboard/global_hot_key.h"

#include "core/diagnostics.h"
#include "platform/x11/key_positions.h"
#include "platform/x11/x11_input_bridge.h"

#include <QPointer>
#include <QTimer>

namespace nimbra {

namespace {

// Registration ids grow with every attempt and are never reused; 0 is never one.
std::uint32_t nextID = 1;

// The X error a refused grab answers with.
constexpr int badAccess = 10;

void log(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::clipboard, [&] { return message; });
}

// The X modifier mask of a combination's modifiers, given where Super and Alt sit.
std::uint16_t modifierMask(std::uint32_t modifiers, std::uint16_t superMask, std::uint16_t altMask)
{
    std::uint16_t mask = 0;
    if (modifiers & KeyCombo::cmd)
        mask |= superMask;
    if (modifiers & KeyCombo::option)
        mask |= altMask;
    if (modifiers & KeyCombo::control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & KeyCombo::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    return mask;
}

} // namespace

GlobalHotKey::GlobalHotKey(X11InputBridge* input, QObject* parent)
    : QObject(parent)
    , m_input(input)
{
    if (m_input) {
        connect(m_input, &X11InputBridge::keyPressed, this, &GlobalHotKey::pressed);
        connect(m_input, &X11InputBridge::keyboardMappingChanged, this, &GlobalHotKey::regrab);
    }
}

GlobalHotKey::~GlobalHotKey()
{
    unbind();
}

std::optional<GlobalHotKey::Grab> GlobalHotKey::grabFor(const KeyCombo& combo) const
{
    const std::optional<std::uint8_t> keycode = x11::keycodeAt(combo.keyCode);
    if (!keycode || !m_input)
        return std::nullopt;
    return Grab { *keycode, modifierMask(combo.modifiers, m_input->superMask(), m_input->altMask()) };
}

bool GlobalHotKey::bind(const KeyCombo& combo, std::function<void()> action)
{
    unbind();
    if (!combo.isUsable())
        return false;
    m_combo = combo;
    m_action = std::move(action);
    m_id = nextID++;
    if (nextID == 0)
        nextID = 1;
    return take();
}

bool GlobalHotKey::take()
{
    const std::optional<Grab> grab = grabFor(m_combo);
    int status = 0;
    if (!grab || !m_input || !m_input->isConnected()) {
        // No key at that place, or no X server to grab it on.
        status = -1;
    } else if (!m_input->grabKeys({ { grab->keycode, grab->modifiers } }).empty()) {
        status = badAccess;
    }
    if (status != 0) {
        log(QStringLiteral("hotkey %1 refused (status %2)").arg(m_combo.displayString()).arg(status));
        setState(std::nullopt, status == badAccess);
        return false;
    }
    log(QStringLiteral("hotkey bound: ") + m_combo.displayString());
    setState(grab, false);
    return true;
}

bool GlobalHotKey::retry()
{
    if (m_grab)
        return true;
    if (!m_heldElsewhere)
        return false;
    return take();
}

void GlobalHotKey::unbind()
{
    if (m_grab && m_input)
        m_input->ungrabKeys({ { m_grab->keycode, m_grab->modifiers } });
    m_action = nullptr;
    setState(std::nullopt, false);
}

void GlobalHotKey::setState(std::optional<Grab> grab, bool heldElsewhere)
{
    const bool changed = grab.has_value() != m_grab.has_value() || heldElsewhere != m_heldElsewhere;
    m_grab = grab;
    m_heldElsewhere = heldElsewhere;
    if (changed)
        Q_EMIT bindingChanged();
}

bool GlobalHotKey::wouldBeRefused(const KeyCombo& combo)
{
    const std::optional<Grab> grab = grabFor(combo);
    if (!grab || !m_input || !m_input->isConnected())
        return false;
    return !m_input->heldElsewhere({ { grab->keycode, grab->modifiers } }).empty();
}

void GlobalHotKey::pressed(std::uint8_t keycode, std::uint16_t state)
{
    if (!m_grab || keycode != m_grab->keycode)
        return;
    if ((state & ~m_input->lockMasks() & 0xff) != m_grab->modifiers)
        return;
    // The action runs on a later turn of the event loop, and only if this registration still
    // stands then: a press queued before an unbind does nothing.
    const std::uint32_t id = m_id;
    QPointer<GlobalHotKey> self(this);
    QTimer::singleShot(0, this, [self, id] {
        if (self && self->m_grab && self->m_id == id && self->m_action)
            self->m_action();
    });
}

void GlobalHotKey::regrab()
{
    // A refused combination may be free on the new keyboard.
    if (!m_grab) {
        retry();
        return;
    }
    // The keys stay in their places, but Super or Alt may sit on other modifier bits now.
    const std::optional<Grab> fresh = grabFor(m_combo);
    if (fresh && fresh->keycode == m_grab->keycode && fresh->modifiers == m_grab->modifiers)
        return;
    std::function<void()> action = m_action;
    bind(m_combo, std::move(action));
}

} // namespace nimbra
