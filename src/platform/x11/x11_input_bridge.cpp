#include "platform/x11/x11_input_bridge.h"

#include "core/diagnostics.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>
// xkb.h names a member `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>

namespace nimbra {

namespace {

constexpr std::uint32_t kNumLock = 0xff7f;
constexpr std::uint32_t kMetaL = 0xffe7;
constexpr std::uint32_t kMetaR = 0xffe8;
constexpr std::uint32_t kAltL = 0xffe9;
constexpr std::uint32_t kAltR = 0xffea;
constexpr std::uint32_t kSuperL = 0xffeb;
constexpr std::uint32_t kSuperR = 0xffec;
constexpr std::uint8_t kBadAccess = 10;

void logInput(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

} // namespace

struct X11InputBridge::Connection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_key_symbols_t* symbols = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    bool lost = false;

    bool usable() const { return connection && !lost && !xcb_connection_has_error(connection); }
};

X11InputBridge::X11InputBridge(const QByteArray& display, QObject* parent)
    : QObject(parent)
    , m_x(std::make_unique<Connection>())
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        logInput(QStringLiteral("no X display for key grabs and input"));
        return;
    }
    m_x->connection = connection;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    m_x->root = screens.data->root;
    m_trust = accessibilityTrust(connection);
    m_x->symbols = xcb_key_symbols_alloc(connection);
    readModifierMasks();

    // XKB tells of a new keyboard (a device plugged in, a layout loaded) where the core
    // protocol may stay silent.
    if (m_trust.hasXkb) {
        auto* reply = xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr);
        if (reply && reply->supported) {
            m_xkbEventBase = xcb_get_extension_data(connection, &xcb_xkb_id)->first_event;
            const std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
            const std::uint16_t parts = XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
            xcb_xkb_select_events(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, parts, parts, nullptr);
        }
        free(reply);
    }
    xcb_flush(connection);

    m_x->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection), QSocketNotifier::Read);
    connect(m_x->notifier.get(), &QSocketNotifier::activated, this, &X11InputBridge::dispatchPending);
}

X11InputBridge::~X11InputBridge()
{
    m_x->notifier.reset();
    for (xcb_generic_event_t* event : m_queued)
        free(event);
    if (m_x->usable()) {
        for (const auto& [grab, variants] : m_grabs) {
            for (std::uint16_t modifiers : variants)
                xcb_ungrab_key(m_x->connection, grab.keycode, m_x->root, modifiers);
        }
        xcb_flush(m_x->connection);
    }
    if (m_x->symbols)
        xcb_key_symbols_free(m_x->symbols);
    if (m_x->connection)
        xcb_disconnect(m_x->connection);
}

bool X11InputBridge::isConnected() const
{
    return m_x->usable();
}

const AccessibilityTrust& X11InputBridge::refreshTrust()
{
    if (!m_x->usable()) {
        m_trust = AccessibilityTrust {};
        return m_trust;
    }
    m_trust = accessibilityTrust(m_x->connection);
    // The replies were read synchronously: events that came with them wait in xcb's queue.
    dispatchSoon();
    return m_trust;
}

xcb_connection_t* X11InputBridge::connection() const
{
    return m_x->connection;
}

std::uint32_t X11InputBridge::root() const
{
    return m_x->root;
}

std::vector<std::uint8_t> X11InputBridge::keycodes(std::uint32_t keysym) const
{
    std::vector<std::uint8_t> found;
    if (!m_x->symbols)
        return found;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_x->symbols, keysym);
    if (!codes)
        return found;
    for (xcb_keycode_t* code = codes; *code != XCB_NO_SYMBOL; ++code)
        found.push_back(*code);
    free(codes);
    return found;
}

std::uint32_t X11InputBridge::keysym(std::uint8_t keycode, int column) const
{
    return m_x->symbols ? xcb_key_symbols_get_keysym(m_x->symbols, keycode, column) : 0;
}

std::uint16_t X11InputBridge::lockMasks() const
{
    return std::uint16_t(XCB_MOD_MASK_LOCK | m_numLockMask);
}

void X11InputBridge::readModifierMasks()
{
    m_altMask = XCB_MOD_MASK_1;
    m_superMask = XCB_MOD_MASK_4;
    m_numLockMask = XCB_MOD_MASK_2;
    auto* reply = xcb_get_modifier_mapping_reply(m_x->connection, xcb_get_modifier_mapping(m_x->connection), nullptr);
    if (!reply)
        return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    bool foundAlt = false, foundSuper = false, foundNumLock = false;
    // Shift, Lock and Control have fixed bits; the rest follow the keys mapped onto them.
    for (int modifier = 3; modifier < 8; ++modifier) {
        const auto bit = std::uint16_t(1u << modifier);
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code == 0)
                continue;
            const xcb_keysym_t sym = xcb_key_symbols_get_keysym(m_x->symbols, code, 0);
            if (!foundNumLock && sym == kNumLock) {
                m_numLockMask = bit;
                foundNumLock = true;
            }
            if (!foundAlt && (sym == kAltL || sym == kAltR || sym == kMetaL || sym == kMetaR)) {
                m_altMask = bit;
                foundAlt = true;
            }
            if (!foundSuper && (sym == kSuperL || sym == kSuperR)) {
                m_superMask = bit;
                foundSuper = true;
            }
        }
    }
    // Without a Num Lock key there is no Num Lock bit to mask out.
    if (!foundNumLock)
        m_numLockMask = 0;
    free(reply);
}

void X11InputBridge::refreshKeyboardMapping()
{
    if (m_x->symbols)
        xcb_key_symbols_free(m_x->symbols);
    m_x->symbols = xcb_key_symbols_alloc(m_x->connection);
    readModifierMasks();
}

std::vector<std::uint16_t> X11InputBridge::lockVariants(std::uint16_t modifiers) const
{
    std::vector<std::uint16_t> variants;
    for (std::uint16_t lock : { std::uint16_t(0), std::uint16_t(XCB_MOD_MASK_LOCK), m_numLockMask,
             std::uint16_t(XCB_MOD_MASK_LOCK | m_numLockMask) }) {
        const auto variant = std::uint16_t(modifiers | lock);
        if (std::find(variants.begin(), variants.end(), variant) == variants.end())
            variants.push_back(variant);
    }
    return variants;
}

std::set<X11InputBridge::KeyGrab> X11InputBridge::heldElsewhere(std::set<KeyGrab> grabs)
{
    std::erase_if(grabs, [this](const KeyGrab& grab) { return isGrabbed(grab); });
    // One round trip for all of them.
    const std::set<KeyGrab> held = grabKeys(grabs);
    for (const KeyGrab& grab : held)
        grabs.erase(grab);
    ungrabKeys(grabs);
    return held;
}

std::set<X11InputBridge::KeyGrab> X11InputBridge::grabKeys(const std::set<KeyGrab>& grabs)
{
    if (!m_x->usable())
        return grabs;
    struct Pending {
        KeyGrab grab;
        std::uint16_t modifiers;
        xcb_void_cookie_t cookie;
    };
    // Every request goes out before the first answer is awaited: one round trip in all.
    std::vector<Pending> pending;
    for (const KeyGrab& grab : grabs) {
        if (m_grabs.count(grab))
            continue;
        for (std::uint16_t modifiers : lockVariants(grab.modifiers)) {
            pending.push_back({ grab, modifiers,
                xcb_grab_key_checked(m_x->connection, 1, m_x->root, modifiers, grab.keycode, XCB_GRAB_MODE_ASYNC,
                    XCB_GRAB_MODE_ASYNC) });
        }
    }
    std::map<KeyGrab, std::vector<std::uint16_t>> taken;
    std::set<KeyGrab> refused;
    for (const Pending& request : pending) {
        xcb_generic_error_t* error = xcb_request_check(m_x->connection, request.cookie);
        if (!error) {
            taken[request.grab].push_back(request.modifiers);
            continue;
        }
        if (error->error_code != kBadAccess)
            logInput(QStringLiteral("key grab of code %1 failed with X error %2")
                         .arg(request.grab.keycode)
                         .arg(error->error_code));
        refused.insert(request.grab);
        free(error);
    }
    // A combination is ours in every lock state or not at all.
    for (auto& [grab, variants] : taken) {
        if (!refused.count(grab)) {
            m_grabs[grab] = std::move(variants);
            continue;
        }
        for (std::uint16_t modifiers : variants)
            xcb_ungrab_key(m_x->connection, grab.keycode, m_x->root, modifiers);
    }
    // The answers were read synchronously; events may be waiting in xcb's queue.
    flush();
    return refused;
}

void X11InputBridge::ungrabKeys(const std::set<KeyGrab>& grabs)
{
    for (const KeyGrab& grab : grabs) {
        auto found = m_grabs.find(grab);
        if (found == m_grabs.end())
            continue;
        if (m_x->usable()) {
            for (std::uint16_t modifiers : found->second)
                xcb_ungrab_key(m_x->connection, grab.keycode, m_x->root, modifiers);
        }
        m_grabs.erase(found);
    }
    if (m_x->usable())
        flush();
}

bool X11InputBridge::injectKey(std::uint8_t keycode, bool press)
{
    if (!m_x->usable() || !m_trust.hasXTest)
        return false;
    xcb_test_fake_input(
        m_x->connection, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    flush();
    return true;
}

void X11InputBridge::selectRootEvents()
{
    xcb_change_window_attributes(m_x->connection, m_x->root, XCB_CW_EVENT_MASK, &m_rootEventMask);
    flush();
}

void X11InputBridge::watchRootProperties()
{
    if (!m_x->usable() || (m_rootEventMask & XCB_EVENT_MASK_PROPERTY_CHANGE))
        return;
    m_rootEventMask |= XCB_EVENT_MASK_PROPERTY_CHANGE;
    selectRootEvents();
}

void X11InputBridge::watchFocus(std::uint32_t window, bool on)
{
    if (!m_x->usable() || window == XCB_NONE)
        return;
    // Our own event mask on that window: its owner's selection is not touched. A window that is
    // gone answers with an error, which the dispatch passes over.
    const std::uint32_t mask = on ? XCB_EVENT_MASK_FOCUS_CHANGE : 0;
    xcb_change_window_attributes(m_x->connection, window, XCB_CW_EVENT_MASK, &mask);
    flush();
}

std::uint32_t X11InputBridge::atom(const QByteArray& name)
{
    if (auto found = m_atoms.find(name); found != m_atoms.end())
        return found->second;
    if (!m_x->usable())
        return XCB_ATOM_NONE;
    auto* reply = xcb_intern_atom_reply(
        m_x->connection, xcb_intern_atom(m_x->connection, 0, std::uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    if (atom != XCB_ATOM_NONE)
        m_atoms[name] = atom;
    dispatchSoon();
    return atom;
}

bool X11InputBridge::selectRawPointerEvents(bool on, bool motion)
{
    if (!m_x->usable())
        return false;
    if (!m_xinputOpcode) {
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_x->connection, &xcb_input_id);
        if (!extension || !extension->present)
            return false;
        auto* version = xcb_input_xi_query_version_reply(
            m_x->connection, xcb_input_xi_query_version(m_x->connection, 2, 2), nullptr);
        const bool enough = version && (version->major_version > 2 || version->minor_version >= 2);
        free(version);
        if (!enough) {
            logInput(QStringLiteral("no XInput 2.2: raw pointer events unavailable"));
            return false;
        }
        m_xinputOpcode = extension->major_opcode;
    }
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask {};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = on ? (motion ? XCB_INPUT_XI_EVENT_MASK_RAW_MOTION : 0) | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS
            | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE
                   : 0;
    xcb_input_xi_select_events(m_x->connection, m_x->root, 1, &mask.head);
    flush();
    return true;
}

void X11InputBridge::dispatchPending()
{
    if (!m_x->connection || m_x->lost || m_dispatching)
        return;
    if (xcb_connection_has_error(m_x->connection)) {
        m_x->lost = true;
        m_x->notifier->setEnabled(false);
        logInput(QStringLiteral("X connection for key grabs and input lost"));
        Q_EMIT connectionLost();
        return;
    }
    m_dispatching = true;
    for (;;) {
        for (std::size_t i = 0; i < m_queued.size(); ++i) {
            handle(m_queued[i]);
            free(m_queued[i]);
        }
        m_queued.clear();
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_x->connection)) {
            handle(event);
            free(event);
        }
        // What the handlers below read synchronously (a refreshed key map, the pointer's place)
        // may have brought events into xcb's queue, where the socket notifier cannot see them:
        // the loop goes round again for them.
        if (m_mappingChanged) {
            // One refresh and one signal for a burst of mapping events (xmodmap sends several).
            m_mappingChanged = false;
            refreshKeyboardMapping();
            Q_EMIT keyboardMappingChanged();
            continue;
        }
        if (m_rawEventsRead) {
            m_rawEventsRead = false;
            Q_EMIT rawPointerEventsRead();
            continue;
        }
        break;
    }
    m_dispatching = false;
}

void X11InputBridge::flush()
{
    if (!m_x->usable())
        return;
    xcb_flush(m_x->connection);
    // While it waits to write, xcb also reads what the server sent: events taken off the socket
    // that way never wake the socket notifier, and a key press would wait for the next event.
    dispatchSoon();
}

void X11InputBridge::dispatchSoon()
{
    if (m_dispatching || !m_x->usable())
        return;
    // Only events already read from the socket go unseen by its notifier; with none (as after
    // most replies) no extra turn of the event loop is needed.
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_x->connection))
        m_queued.push_back(event);
    if (m_queued.empty() || m_dispatchQueued)
        return;
    m_dispatchQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_dispatchQueued = false;
            dispatchPending();
        },
        Qt::QueuedConnection);
}

std::optional<QPoint> X11InputBridge::pointerPosition()
{
    if (!m_x->usable())
        return std::nullopt;
    auto* reply = xcb_query_pointer_reply(m_x->connection, xcb_query_pointer(m_x->connection, m_x->root), nullptr);
    dispatchSoon();
    if (!reply)
        return std::nullopt;
    const QPoint position(reply->root_x, reply->root_y);
    free(reply);
    return position;
}

void X11InputBridge::handle(void* raw)
{
    auto* event = static_cast<xcb_generic_event_t*>(raw);
    const std::uint8_t type = event->response_type & 0x7f;
    switch (type) {
    case XCB_KEY_PRESS: {
        auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
        Q_EMIT keyPressed(press->detail, press->state);
        return;
    }
    case XCB_KEY_RELEASE: {
        auto* release = reinterpret_cast<xcb_key_release_event_t*>(event);
        Q_EMIT keyReleased(release->detail, release->state);
        return;
    }
    case XCB_MAPPING_NOTIFY:
        if (reinterpret_cast<xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER)
            m_mappingChanged = true;
        return;
    case XCB_PROPERTY_NOTIFY: {
        auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (property->window == m_x->root)
            Q_EMIT rootPropertyChanged(property->atom);
        else
            Q_EMIT windowEvent(event);
        return;
    }
    case XCB_FOCUS_IN:
        Q_EMIT focusIn(reinterpret_cast<xcb_focus_in_event_t*>(event)->event);
        return;
    case XCB_ENTER_NOTIFY:
    case XCB_LEAVE_NOTIFY:
    case XCB_MOTION_NOTIFY:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_CLIENT_MESSAGE:
    case XCB_SELECTION_NOTIFY:
        Q_EMIT windowEvent(event);
        return;
    case XCB_GE_GENERIC: {
        auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
        if (m_xinputOpcode && generic->extension == m_xinputOpcode) {
            m_rawEventsRead = true;
            Q_EMIT rawPointerEvent(generic);
        }
        return;
    }
    default:
        break;
    }
    if (m_xkbEventBase && type == m_xkbEventBase) {
        // Byte 1 of every XKB event says which one it is.
        const std::uint8_t xkbType = reinterpret_cast<const std::uint8_t*>(event)[1];
        if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY)
            m_mappingChanged = true;
    }
}

} // namespace nimbra
