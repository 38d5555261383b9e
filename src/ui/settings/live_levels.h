#pragma once

#include "core/system_level.h"

#include <optional>

namespace nimbra {

// The volume and brightness readings handed to the settings window; none where a level cannot
// be read.
struct LiveLevels {
    std::optional<SystemLevel> volume;
    std::optional<SystemLevel> brightness;

    bool operator==(const LiveLevels&) const = default;
};

} // namespace nimbra
