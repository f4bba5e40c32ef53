#pragma once

#include "plugin/host_check.h"
#include "plugin/host_profile.h"

// Redirect the flag operand, write the menu rows, and load the flag byte from
// the settings file between the host's two directory routines. In a host not
// laid out as the build it touches nothing, and returns the first place that
// was not there; Fit when the sequence ran.
HostCheck attachToHost(const HostProfile& profile);
