#pragma once

#include <cstdint>
#include <optional>

namespace nimbra::x11 {

// Hot keys are stored as virtual key codes, which name a key by its place on the keyboard (the
// US layout's A is 0, V is 9), whatever the layout prints on it. This is the one table from
// those places to X key codes, on servers with the usual evdev key codes (the code of a place
// is its Linux input code + 8). None for a code with no place here.
std::optional<std::uint8_t> keycodeAt(std::uint32_t virtualKeyCode);
// The other way: the virtual key code of the place an X key code stands for; none for a key
// with no place in the table (a keypad key, a media key, a modifier).
std::optional<std::uint32_t> virtualKeyCodeAt(std::uint8_t keycode);

} // namespace nimbra::x11
