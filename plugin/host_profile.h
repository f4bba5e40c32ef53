#pragma once

#include "host/host_memory.h"

// The fixed locations and routines of one known build of the game executable.
struct HostProfile {
    HostAddress probeAddress;             // where the build's signature stands; 0: none
    HostAddress pageSlot;                 // holds the menu page base
    HostAddress flagSourceSlot;           // holds the address of the flag byte
    HostAddress flagDestSlot;             // code operand that receives that address
    HostAddress enterSettingsDirRoutine;  // makes the settings folder current
    HostAddress setDirRoutine;            // called with "" once the file is closed
};

// push ebp; mov ebp, esp; push ebx: 55 89 E5 53 in memory order.
constexpr std::uint32_t kBuildSignature = 0x53E58955;

// Each build's values as the executable has them; none is derived from another.
//                                       probe     page      flagSrc   flagDest  enterDir  setDir
inline constexpr HostProfile BuildA = {0x667BF0, 0x4966A0, 0x48FEB0, 0x4902D2, 0x48E020, 0x48E030};
inline constexpr HostProfile BuildB = {0x667C40, 0x4966B0, 0x48FEC0, 0x4902E2, 0x48E030, 0x48E040};
inline constexpr HostProfile BuildC = {0x000000, 0x4965B0, 0x48FDC0, 0x4901E2, 0x48DF10, 0x48DF20};
