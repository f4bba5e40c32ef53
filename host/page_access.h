#pragma once

#include <cstdint>

#include "host/host_memory.h"

// What a range of the host's memory must allow before the plug-in touches it.
enum class Access {
    Readable,
    Writable,    // copy-on-write counts: image data sections report it
    Committed,   // any protection; the plug-in changes it itself
    Executable,
};

// Whether a committed page with this protection (as VirtualQuery reports it,
// modifier bits included) allows the access.
bool protectionAllows(std::uint32_t protection, Access access);

// Whether every byte of the range is committed with that access, asked region
// by region with queryRegion. A query, not an effect.
bool hasAccess(HostAddress address, std::uint32_t size, Access access);
