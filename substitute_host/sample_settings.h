#pragma once

#include <string>

// A folder under the temp folder whose korvan.set has the flag byte set to 1,
// written by us: no settings file of the game's is needed.
std::string writeSampleSettings(const char* folderName);
