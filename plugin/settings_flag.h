#pragma once

#include <cstdint>

#include "host/host_memory.h"

// The game's settings file, opened by bare name in the folder the game made current.
constexpr char kSettingsFileName[] = "korvan.set";
constexpr long kSettingsFlagOffset = 1466;
// An 's' (0x73) in the file's flag byte stands for off.
constexpr unsigned char kUnsetFlag = 0x73;

// Load the flag byte from the settings file. A missing file leaves it be; so
// does a short one, except that 0x73 becomes 0 either way once the file is open.
void restoreSettingsFlag(HostAddress flagAddress);
