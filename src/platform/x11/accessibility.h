#pragma once

#include <QByteArray>

struct xcb_connection_t;

namespace nimbra {

// What a display server offers for taking keys and sending synthetic input. Media keys can be
// taken only on a real X server: under XWayland the compositor sees them first, and grabs
// there reach only X clients.
struct AccessibilityTrust {
    bool hasDisplay = false;
    bool isXWayland = false;
    bool hasXTest = false;
    bool hasXkb = false;

    bool isTrusted() const { return hasDisplay && !isXWayland && hasXTest && hasXkb; }
};

// Whether the desktop session is a Wayland one ($WAYLAND_DISPLAY or $XDG_SESSION_TYPE say so):
// there the compositor sees every key first, and only an X11 session would let Nimbra have them.
bool isWaylandSession();

// Asks the X server behind `display` (empty for $DISPLAY) over a short connection of its own.
AccessibilityTrust accessibilityTrust(const QByteArray& display = {});
// Asks over an open connection (null: no display).
AccessibilityTrust accessibilityTrust(xcb_connection_t* connection);

} // namespace nimbra
