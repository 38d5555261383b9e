#include "platform/x11/key_positions.h"

#include <array>
#include <utility>

namespace nimbra::x11 {

namespace {

// Virtual key code -> Linux input code of the key in the same place.
constexpr auto places = std::to_array<std::pair<std::uint32_t, std::uint8_t>>({
    { 0, 30 }, // A
    { 1, 31 }, // S
    { 2, 32 }, // D
    { 3, 33 }, // F
    { 4, 35 }, // H
    { 5, 34 }, // G
    { 6, 44 }, // Z
    { 7, 45 }, // X
    { 8, 46 }, // C
    { 9, 47 }, // V
    { 10, 86 }, // the key left of Z on ISO keyboards
    { 11, 48 }, // B
    { 12, 16 }, // Q
    { 13, 17 }, // W
    { 14, 18 }, // E
    { 15, 19 }, // R
    { 16, 21 }, // Y
    { 17, 20 }, // T
    { 18, 2 }, // 1
    { 19, 3 }, // 2
    { 20, 4 }, // 3
    { 21, 5 }, // 4
    { 22, 7 }, // 6
    { 23, 6 }, // 5
    { 24, 13 }, // =
    { 25, 10 }, // 9
    { 26, 8 }, // 7
    { 27, 12 }, // -
    { 28, 9 }, // 8
    { 29, 11 }, // 0
    { 30, 27 }, // ]
    { 31, 24 }, // O
    { 32, 22 }, // U
    { 33, 26 }, // [
    { 34, 23 }, // I
    { 35, 25 }, // P
    { 36, 28 }, // Return
    { 37, 38 }, // L
    { 38, 36 }, // J
    { 39, 40 }, // '
    { 40, 37 }, // K
    { 41, 39 }, // ;
    { 42, 43 }, // backslash
    { 43, 51 }, // ,
    { 44, 53 }, // /
    { 45, 49 }, // N
    { 46, 50 }, // M
    { 47, 52 }, // .
    { 48, 15 }, // Tab
    { 49, 57 }, // Space
    { 50, 41 }, // `
    { 51, 14 }, // Backspace
    { 53, 1 }, // Escape
    { 96, 63 }, // F5
    { 97, 64 }, // F6
    { 98, 65 }, // F7
    { 99, 61 }, // F3
    { 100, 66 }, // F8
    { 101, 67 }, // F9
    { 103, 87 }, // F11
    { 109, 68 }, // F10
    { 111, 88 }, // F12
    { 115, 102 }, // Home
    { 116, 104 }, // Page Up
    { 117, 111 }, // Delete
    { 118, 62 }, // F4
    { 119, 107 }, // End
    { 120, 60 }, // F2
    { 121, 109 }, // Page Down
    { 122, 59 }, // F1
    { 123, 105 }, // Left
    { 124, 106 }, // Right
    { 125, 108 }, // Down
    { 126, 103 }, // Up
});

constexpr std::uint8_t evdevOffset = 8;

} // namespace

std::optional<std::uint8_t> keycodeAt(std::uint32_t virtualKeyCode)
{
    for (const auto& [code, place] : places) {
        if (code == virtualKeyCode)
            return std::uint8_t(place + evdevOffset);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> virtualKeyCodeAt(std::uint8_t keycode)
{
    for (const auto& [code, place] : places) {
        if (place + evdevOffset == keycode)
            return code;
    }
    return std::nullopt;
}

} // namespace nimbra::x11
