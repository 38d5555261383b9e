#pragma once

#include "core/clamped.h"

#include <array>

// What the settings pages offer for each numeric setting. The pages build their controls from
// these, and the settings store brings every value it reads from the file into them, so that a
// hand-edited file can never hold a value the pages cannot show. The layout's ranges live with
// LayoutMetrics, the eye diameter's with EyeStyle.
namespace nimbra::settings_ranges {

// Seconds, in steps of 10 ms.
inline constexpr ClosedRange<double> hoverDwell { 0, 0.5 };
inline constexpr double hoverDwellStep = 0.01;
// Points per second, in steps of 50.
inline constexpr ClosedRange<double> velocityCeiling { 400, 2000 };
inline constexpr double velocityCeilingStep = 50;

// Pop-up choices: a stored value between them is taken as the nearest one.
inline constexpr std::array<int, 4> clipboardAutoCloseSeconds { 0, 5, 10, 30 };
inline constexpr std::array<int, 5> clipboardHistoryLimits { 25, 50, 100, 200, 500 };

// Minutes, and focus blocks before a long break.
inline constexpr ClosedRange<int> pomodoroWork { 5, 90 };
inline constexpr ClosedRange<int> pomodoroBreak { 1, 30 };
inline constexpr ClosedRange<int> pomodoroLongBreak { 5, 60 };
inline constexpr ClosedRange<int> pomodoroCycles { 2, 8 };

// The eyes' style: shares, seconds.
inline constexpr ClosedRange<double> eyeSeparation { 0.05, 0.8 };
inline constexpr ClosedRange<double> eyeFollowSpeed { 0.1, 0.95 };
inline constexpr ClosedRange<double> blinkInterval { 1, 30 };
inline constexpr ClosedRange<double> blinkVariation { 0, 0.9 };
inline constexpr ClosedRange<double> drowsyAfter { 15, 20 * 60 };
inline constexpr ClosedRange<double> asleepAfter { 30, 60 * 60 };

// The choice nearest to `value` (the smaller of two as near).
template <std::size_t N> constexpr int nearestChoice(const std::array<int, N>& choices, long long value)
{
    int best = choices[0];
    for (const int choice : choices) {
        const long long distance = value > choice ? value - choice : choice - value;
        const long long bestDistance = value > best ? value - best : best - value;
        if (distance < bestDistance || (distance == bestDistance && choice < best))
            best = choice;
    }
    return best;
}

} // namespace nimbra::settings_ranges
