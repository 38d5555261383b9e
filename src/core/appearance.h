#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>
#include <span>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);
template <typename E> std::span<const E> allCases();

// Whether the notch and the windows follow the system's look or are forced light or dark.
// Stored by raw value; the settings store maps an unknown one to `system`.
enum class Appearance { system, light, dark };

// The typeface family of the notch clock. Stored by raw value; unknown ones load as `lockScreen`.
enum class ClockFont { lockScreen, system, rounded, serif, mono };

inline constexpr std::array<Appearance, 3> kAppearances = { Appearance::system, Appearance::light, Appearance::dark };
inline constexpr std::array<ClockFont, 5> kClockFonts
    = { ClockFont::lockScreen, ClockFont::system, ClockFont::rounded, ClockFont::serif, ClockFont::mono };

// In picker order.
template <> inline std::span<const Appearance> allCases<Appearance>()
{
    return kAppearances;
}
template <> inline std::span<const ClockFont> allCases<ClockFont>()
{
    return kClockFonts;
}

QString rawValue(Appearance appearance);
QString rawValue(ClockFont font);
// Exact match only, letter case included.
template <> std::optional<Appearance> fromRawValue<Appearance>(QStringView raw);
template <> std::optional<ClockFont> fromRawValue<ClockFont>(QStringView raw);
// What the settings window shows.
QString title(Appearance appearance);
QString title(ClockFont font);
// Whether an appearance draws dark, given how the desktop draws (which only `system` follows).
bool isDark(Appearance appearance, bool systemIsDark);

} // namespace nimbra
