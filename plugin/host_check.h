#pragma once

#include "plugin/host_profile.h"

// In an executable that is none of the known builds, the fixed addresses may
// hold anything. These queries say whether the attach sequence can run there
// without faulting or writing over memory that is not there to be written;
// they change nothing in the host.

// The build's signature stands at probe; an unreadable probe does not match.
bool signatureAt(HostAddress probe);

bool slotsReadable(const HostProfile& profile);

// The operand, the nine rows, the flag byte and both routines are there with
// the access that the sequence needs.
bool targetsUsable(const HostProfile& profile, HostAddress pageBase, HostAddress flagAddress);
