#pragma once

#include "host/host_memory.h"

// Point the game's code operand at flagDestSlot to the flag byte.
void redirectFlagOperand(HostAddress flagDestSlot, HostAddress flagAddress);

// The one write into game code: make the 4 bytes writable, store, put the
// protection back. If the code cannot be made writable, nothing is stored and
// no protection is put back.
void patchHostDword(HostAddress address, std::uint32_t value);
