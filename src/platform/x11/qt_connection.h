#pragma once

#include <xcb/xcb.h>

namespace nimbra::x11 {

// Qt's own connection to the X server, which its windows belong to; null on any other
// platform (offscreen, Wayland).
xcb_connection_t* qtConnection();

} // namespace nimbra::x11
