#pragma once

#include <cstdint>

#include "host/host_memory.h"

// Whether a committed page with this protection (as VirtualQuery reports it,
// modifier bits included) allows the access.
bool protectionAllows(std::uint32_t protection, Access access);
