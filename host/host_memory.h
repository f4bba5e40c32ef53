#pragma once

#include <cstdint>

// Every touch of the host process goes through these free functions. The DLL
// links the Windows implementation; the native tests link a recording fake;
// menupatch-check links a read-only view of a game (checker/decide/game_view.cpp).
// The game is 32-bit: its addresses and values are 32-bit little-endian.
using HostAddress = std::uint32_t;

// One past the last address: ends of ranges and regions are computed in 64 bits,
// so that one ending at 4 GiB does not wrap to 0.
constexpr std::uint64_t kAddressSpaceEnd = std::uint64_t{1} << 32;

// A run of pages as VirtualQuery reports it: from the page that holds the
// address asked about, up to the first page whose state or protection differs.
struct HostRegion {
    HostAddress base;
    std::uint32_t size;        // 0: the platform reported nothing there
    bool committed;
    std::uint32_t protection;  // as reported, modifier bits included
};

// A query, not an effect: it changes nothing in the host.
HostRegion queryRegion(HostAddress address);

std::uint32_t read32(HostAddress address);

// Plain copy; the caller has made sure the target is writable.
void writeBytes(HostAddress address, const unsigned char* bytes, std::uint32_t size);

// VirtualProtect: false when the platform refused, and *previous is then not usable.
bool protect(HostAddress address, std::uint32_t size, std::uint32_t newProtection,
             std::uint32_t* previous);

void write32(HostAddress address, std::uint32_t value);

// Host routines are cdecl: arguments on the stack, the caller removes them.
void callNoArgs(HostAddress routine);
void callWithString(HostAddress routine, const char* text);

// The host byte as a pointer, for the C library to read a file byte straight into it.
unsigned char* hostByte(HostAddress address);
