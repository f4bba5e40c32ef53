#pragma once

#include "plugin/host_profile.h"

// In an executable that is none of the known builds, the fixed addresses may
// hold anything. These queries say whether the attach sequence can run there
// without faulting or writing over memory that is not there to be written;
// they change nothing in the host.

// The first place, in the order they are checked, that is not there with the
// access the attach sequence needs; Fit when every one is.
enum class HostCheck {
    Fit,
    PageSlot,                 // not readable
    FlagSourceSlot,           // not readable
    FlagOperand,              // not committed
    MenuRows,                 // not writable, or past the end of the address space
    FlagByte,                 // not writable
    EnterSettingsDirRoutine,  // not executable
    SetDirRoutine,            // not executable
};

// The build's signature stands at probe; an unreadable probe does not match.
bool signatureAt(HostAddress probe);

// The two slots the sequence reads.
HostCheck checkSlots(const HostProfile& profile);

// The operand, the nine rows, the flag byte and both routines.
HostCheck checkTargets(const HostProfile& profile, HostAddress pageBase, HostAddress flagAddress);
