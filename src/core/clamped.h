#pragma once

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace nimbra {

// A closed range [lower, upper] for clamping.
template <typename T>
struct ClosedRange {
    T lower;
    T upper;
    bool contains(T value) const { return lower <= value && value <= upper; }
};

// min(max(value, lower), upper). A NaN never passes through: it comes back as the lower
// bound, and infinities land on the bound they point to.
template <typename T>
constexpr T clamped(T value, ClosedRange<T> range)
{
    if constexpr (std::is_floating_point_v<T>) {
        if (std::isnan(value))
            return range.lower;
    }
    return std::min(std::max(value, range.lower), range.upper);
}

template <typename T>
constexpr T clamped(T value, T lower, T upper)
{
    return clamped(value, ClosedRange<T>{lower, upper});
}

} // namespace nimbra
