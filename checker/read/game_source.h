#pragma once

// A game as the checker reads it, never changes it: an executable's image as
// the loader would map it, or a running game's memory. Regions as VirtualQuery
// gives them, and every byte of a range or none.

#include <cstdint>
#include <functional>

#include "host/host_memory.h"

struct GameSource {
    std::function<HostRegion(HostAddress)> queryRegion;
    // Every byte of the range, or false.
    std::function<bool(HostAddress, unsigned char*, std::uint32_t)> read;
};
