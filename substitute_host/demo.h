#pragma once

#include <string>
#include <vector>

#include "substitute_host/game_layout.h"

// The nine menu rows before and after, the operand, the flag byte and the
// build the plug-in recognised, from two snapshots of the game's memory.
void printDemo(const HostProfile& laidOut, const std::vector<unsigned char>& before,
               const std::vector<unsigned char>& after, const std::string& settingsFolder);
