#pragma once

#include "core/activity.h"

namespace nimbra {

// The glance has no view of its own: it is the presentation's focus module, so that resting
// the pointer on the notch opens the expanded surface even when nothing else is resident.
struct Glance {
    static inline const ModuleID moduleID { QStringLiteral("glance") };
};

} // namespace nimbra
