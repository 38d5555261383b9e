#pragma once

// Icons by freedesktop name: desktops without an icon theme of their own (and Qt's offscreen
// platform) still find them, because the XDG icon folders are searched, a missing theme name
// becomes the freedesktop base theme and Adwaita is where lookups fall back to.
namespace nimbra {

// Sets the search paths and themes once; later calls do nothing.
void ensureIconTheme();

} // namespace nimbra
