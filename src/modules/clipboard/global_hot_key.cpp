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

std::uint16_t GlobalHotKey::modifierMask(std::uint32_t modifiers, std::uint16_t superMask, std::uint16_t altMask)
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

    const std::optional<Grab> grab = grabFor(combo);
    int status = 0;
    if (!grab || !m_input || !m_input->isConnected()) {
        // No key at that place, or no X server to grab it on.
        status = -1;
    } else if (!m_input->grabKeys({ { grab->keycode, grab->modifiers } }).empty()) {
        status = badAccess;
    }
    if (status != 0) {
        log(QStringLiteral("hotkey %1 refused (status %2)").arg(combo.displayString()).arg(status));
        return false;
    }
    m_grab = grab;
    log(QStringLiteral("hotkey bound: ") + combo.displayString());
    return true;
}

void GlobalHotKey::unbind()
{
    if (m_grab && m_input)
        m_input->ungrabKeys({ { m_grab->keycode, m_grab->modifiers } });
    m_grab.reset();
    m_action = nullptr;
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
    // The keys stay in their places, but Super or Alt may sit on other modifier bits now.
    if (!m_grab)
        return;
    const std::optional<Grab> fresh = grabFor(m_combo);
    if (fresh && fresh->keycode == m_grab->keycode && fresh->modifiers == m_grab->modifiers)
        return;
    std::function<void()> action = m_action;
    bind(m_combo, std::move(action));
}

} // namespace nimbra
