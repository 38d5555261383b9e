#pragma once

#include "platform/x11/accessibility.h"

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>
#include <xcb/xcb.h>

namespace nimbra {

// The one X11 input bridge of the process: a single xcb connection, apart from Qt's, that
// serves every passive key grab, every XTest event and every watch on the root window.
// The application delegate owns it and hands it to the features that need X input (media
// keys, the clipboard hot key and paste-back, the eyes' pointer watch); none of them opens a
// connection of its own. Main thread only.
//
// What it offers:
// - events: one QSocketNotifier reads the connection and dispatches each event as a signal
//   (key press and release, root property changes, XInput2 raw pointer events);
// - one key-code table (keysym <-> key code, plus the modifier bits of Alt, Super and Num
//   Lock), refreshed when the keyboard mapping changes (core MappingNotify, XKB map or
//   new-keyboard notify); `keyboardMappingChanged` fires once per burst of such events, after
//   the table was refreshed, so users re-grab their keys there;
// - checked passive grabs on the root window: each key combination is grabbed with its Caps
//   Lock and Num Lock variants, and a combination another client holds (BadAccess) is
//   reported refused and leaves no variant of itself behind;
// - XTest key injection;
// - root-window PropertyNotify (e.g. `_NET_ACTIVE_WINDOW`) once `watchRootProperties()` ran;
// - FocusIn on another client's window while `watchFocus()` follows it;
// - XInput2 raw motion and button events of every master device once
//   `selectRawPointerEvents(true)` ran; they arrive whether or not the pointer is over one of
//   our windows, and only while it moves or clicks. `rawPointerEventsRead` follows each batch
//   of them, so a watcher can act once per batch however many events a fast mouse sent;
// - the pointer's place, by one query;
// - the events of windows made on this connection (an input-only strip's pointer crossings,
//   motion, client messages, selections and properties), as `windowEvent`.
//
// Requests the bridge does not wrap (reading a property) go straight through `connection()`;
// replies read synchronously there, and flushing it, may leave events in xcb's queue, so such
// users call `dispatchSoon()` after a reply and `flush()` instead of xcb_flush.
class X11InputBridge final : public QObject {
    Q_OBJECT
public:
    // `display`: empty for $DISPLAY.
    explicit X11InputBridge(const QByteArray& display = {}, QObject* parent = nullptr);
    ~X11InputBridge() override;

    bool isConnected() const;
    // Null when no X server could be reached.
    xcb_connection_t* connection() const;
    std::uint32_t root() const;
    // Whether keys can be taken and input synthesised on this server.
    const AccessibilityTrust& trust() const { return m_trust; }
    // Asks the server again; a lost connection is trusted with nothing.
    const AccessibilityTrust& refreshTrust();

    // The key-code table.
    std::vector<std::uint8_t> keycodes(std::uint32_t keysym) const;
    std::uint32_t keysym(std::uint8_t keycode, int column = 0) const;
    std::uint16_t altMask() const { return m_altMask; }
    std::uint16_t superMask() const { return m_superMask; }
    std::uint16_t numLockMask() const { return m_numLockMask; }
    // The modifier bits that only say a lock is on (Caps Lock, Num Lock).
    std::uint16_t lockMasks() const;

    // One passive grab: a key code with an exact set of modifiers (locks excluded).
    struct KeyGrab {
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
        auto operator<=>(const KeyGrab&) const = default;
    };
    // Grabs each combination on the root window with every lock variant, checked, and returns
    // those another client holds. A combination already held here is left as it is.
    std::set<KeyGrab> grabKeys(const std::set<KeyGrab>& grabs);
    void ungrabKeys(const std::set<KeyGrab>& grabs);
    bool isGrabbed(const KeyGrab& grab) const { return m_grabs.count(grab) > 0; }
    // Of `grabs` not held here, those another client holds: each is tried and let go at once.
    std::set<KeyGrab> heldElsewhere(std::set<KeyGrab> grabs);

    // Synthesises a key going down or up through XTest; false without XTest or connection.
    bool injectKey(std::uint8_t keycode, bool press);

    // Asks for PropertyNotify on the root window; `rootPropertyChanged` reports each change.
    void watchRootProperties();
    // Asks for (or stops) FocusIn on a window, another client's too; `focusIn` reports them.
    void watchFocus(std::uint32_t window, bool on);
    // The atom of `name`, interned once and remembered; 0 without a connection.
    std::uint32_t atom(const QByteArray& name);

    // Selects (or deselects) XInput2 raw motion and raw button press/release on the root
    // window for all master devices (motion only with `motion`). False when the server has no
    // XInput 2.2.
    bool selectRawPointerEvents(bool on, bool motion = true);

    // Where the pointer is on the root window, in device pixels; none without a connection.
    std::optional<QPoint> pointerPosition();

    // Reads every event already in xcb's queue and dispatches it. A call made while the bridge
    // dispatches leaves the rest to that dispatch.
    void dispatchPending();
    // Sends the requests written straight to `connection()`, and dispatches soon the events
    // xcb read from the socket meanwhile.
    void flush();
    // Dispatches what a synchronous reply left in xcb's queue: on the next turn of the event
    // loop, or before the dispatch under way ends; nothing when it left none.
    void dispatchSoon();

Q_SIGNALS:
    // `state` is the modifier mask at the time, locks included.
    void keyPressed(std::uint8_t keycode, std::uint16_t state);
    void keyReleased(std::uint8_t keycode, std::uint16_t state);
    // The key-code table was refreshed: grabs may sit on stale codes.
    void keyboardMappingChanged();
    void rootPropertyChanged(std::uint32_t atom);
    // The input focus went to `window` or into it (a window watchFocus() follows).
    void focusIn(std::uint32_t window);
    // An XInput2 raw event (`event->event_type` is XCB_INPUT_RAW_MOTION, ..._RAW_BUTTON_PRESS
    // or ..._RAW_BUTTON_RELEASE); valid only during the call.
    void rawPointerEvent(const xcb_ge_generic_event_t* event);
    // The raw pointer events read together have all been dispatched.
    void rawPointerEventsRead();
    // An event of a window made on this connection: EnterNotify, LeaveNotify, MotionNotify,
    // ButtonPress/Release, ClientMessage, SelectionNotify or a PropertyNotify off the root
    // window. Each user looks only at its own window's; valid only during the call.
    void windowEvent(const xcb_generic_event_t* event);
    // The connection broke (the X server went away); nothing more arrives.
    void connectionLost();

private:
    void readModifierMasks();
    void refreshKeyboardMapping();
    void handle(void* event);
    std::vector<std::uint16_t> lockVariants(std::uint16_t modifiers) const;
    void selectRootEvents();

    struct Connection;
    std::unique_ptr<Connection> m_x;
    AccessibilityTrust m_trust;
    std::uint16_t m_altMask = 0x08; // Mod1
    std::uint16_t m_superMask = 0x40; // Mod4
    std::uint16_t m_numLockMask = 0x10; // Mod2
    // Each grab with the exact modifier masks its variants were taken with, so that letting
    // go undoes exactly that even after Num Lock moved to another modifier.
    std::map<KeyGrab, std::vector<std::uint16_t>> m_grabs;
    std::map<QByteArray, std::uint32_t> m_atoms;
    std::uint32_t m_rootEventMask = 0;
    std::uint8_t m_xkbEventBase = 0;
    std::uint8_t m_xinputOpcode = 0;
    bool m_mappingChanged = false;
    bool m_rawEventsRead = false;
    bool m_dispatching = false;
    bool m_dispatchQueued = false;
    // Events a synchronous reply brought into xcb's queue, in order, for the next dispatch.
    std::vector<xcb_generic_event_t*> m_queued;
};

} // namespace nimbra
