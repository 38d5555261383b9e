#pragma once

#include "core/notch_geometry.h"

#include <optional>
#include <vector>

namespace nimbra {

// Which displays show the notch: all of them with `builtInOnly` off; otherwise only the
// built-in one (on a desktop, the primary display standing in for it), and none when there is
// no such display. Every display keeps its controller either way; this only enables or
// disables it.
inline bool isDisplaySelected(const DisplayKey& key, bool builtInOnly, const std::optional<DisplayKey>& builtInKey)
{
    if (!builtInOnly)
        return true;
    return builtInKey && builtInKey->rawValue == key.rawValue;
}

// Where a surface opened by command (the clipboard hot key) goes, among the enabled displays:
// the one under the pointer, else the built-in one, else the first. A disabled display is never
// chosen, so with none enabled nothing opens.
inline std::optional<DisplayKey> openTarget(const std::vector<DisplayKey>& enabled,
    const std::optional<DisplayKey>& underPointer, const std::optional<DisplayKey>& builtInKey)
{
    const auto isEnabled = [&](const std::optional<DisplayKey>& key) {
        if (!key)
            return false;
        for (const DisplayKey& candidate : enabled) {
            if (candidate.rawValue == key->rawValue)
                return true;
        }
        return false;
    };
    if (isEnabled(underPointer))
        return underPointer;
    if (isEnabled(builtInKey))
        return builtInKey;
    if (!enabled.empty())
        return enabled.front();
    return std::nullopt;
}

} // namespace nimbra
