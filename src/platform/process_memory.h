#pragma once

#include <optional>

namespace nimbra {

// This process's resident memory as the kernel counts it, in kilobytes: its own (heap, stacks)
// and the pages of files it maps (libraries, font caches), which other programs share.
struct ResidentMemory {
    long privateKilobytes = 0;
    long fileKilobytes = 0;
};

// None where the kernel does not say.
std::optional<ResidentMemory> residentMemory();

// Hands memory the allocator keeps after a burst of short-lived work back to the system.
void releaseFreedMemory();

} // namespace nimbra
