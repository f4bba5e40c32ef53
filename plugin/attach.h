#pragma once

#include "plugin/host_profile.h"

// Redirect the flag operand, write the menu rows, and load the flag byte from
// the settings file between the host's two directory routines.
void attachToHost(const HostProfile& profile);
