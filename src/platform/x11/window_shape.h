#pragma once

#include <QRect>
#include <QRegion>
#include <optional>

class QWindow;

// The X11 side of the notch windows: which parts of a window take the pointer (input shape),
// which parts exist at all (bounding shape, for when no compositor blends translucent pixels),
// and stacking. Every call is a no-op on a platform that is not X11, so the windows also run
// under Qt's offscreen platform.
namespace nimbra::x11 {

// True when the application talks to an X server.
bool isAvailable();

// True when a compositing manager owns the _NET_WM_CM_S<n> selection of the default screen.
bool hasCompositor();

// The window takes pointer input only inside `region` (window coordinates, device pixels, so a
// strip can be exactly one pixel high on any scale); an empty region lets every click through
// to what lies beneath. std::nullopt restores the whole window.
void setInputShape(QWindow* window, const std::optional<QRegion>& devicePixels);

// The window exists only inside `region` (window coordinates, device pixels, so a curved edge
// steps by single pixels on any scale); std::nullopt restores the whole window.
void setBoundingShape(QWindow* window, const std::optional<QRegion>& devicePixels);

// Puts the window on top of every other window of the screen, panels and full-screen ones too.
void raise(QWindow* window);

// Hands the keyboard back to whatever window the pointer is over, when `window` holds it; a
// window outside the window manager's care would otherwise keep the X input focus.
void releaseInputFocus(QWindow* window);

// Gives the keyboard to `window` when it is on screen, asked for by the user (a hot key, a
// click): Qt asks with the time of the last event it saw, which the server ignores as stale
// once another client took the focus later, and a hot key reaches another connection.
void takeInputFocus(QWindow* window);

// Stacks `window` directly above `sibling`.
void stackAbove(QWindow* window, QWindow* sibling);

// Where the window really is on the root window, in device pixels, asked of the server: a
// window embedded into another client's (a tray icon) only knows its place in its parent.
std::optional<QRect> rootGeometry(QWindow* window);

} // namespace nimbra::x11
