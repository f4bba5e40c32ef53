#pragma once

// A recording stand-in for the game process: it holds the game's memory, page
// by page with a protection each, at the addresses a test maps; answers the
// host-memory operations from it; and records every effect in order (access
// queries are not effects). Reading memory that is not readable, writing memory
// that is not writable and calling what is not executable or not a routine
// somebody set up are test failures: in the game each of them would be a crash.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "host/host_memory.h"

namespace fake {

enum class Op { Read32, WriteBytes, Protect, Write32, CallNoArgs, CallWithString };

struct Effect {
    Op op;
    HostAddress address;
    std::uint32_t size;   // bytes touched; 0 for calls
    std::uint32_t value;  // value read or stored, or the protection asked for
    std::string text;     // the string argument of CallWithString
};

bool operator==(const Effect& a, const Effect& b);
void PrintTo(const Effect& effect, std::ostream* out);

Effect read32At(HostAddress address, std::uint32_t value);
Effect copyTo(HostAddress address, std::uint32_t size);
Effect protectAs(HostAddress address, std::uint32_t size, std::uint32_t protection);
Effect write32At(HostAddress address, std::uint32_t value);
Effect callOf(HostAddress routine);
Effect callOf(HostAddress routine, const std::string& text);

// Forget all memory, routines, effects and refusals.
void reset();

// Commits the pages that hold the range, with that protection, zero-filled.
void map(HostAddress base, std::uint32_t size, std::uint32_t protection);
// Decommits the pages that hold the range.
void unmap(HostAddress base, std::uint32_t size);
// Sets the protection of the pages that hold the range, as the host itself would.
void setProtection(HostAddress base, std::uint32_t size, std::uint32_t protection);
void poke(HostAddress address, const std::vector<unsigned char>& bytes);
void poke32(HostAddress address, std::uint32_t value);
std::vector<unsigned char> peek(HostAddress address, std::uint32_t size);
std::uint32_t peek32(HostAddress address);
std::uint32_t protectionAt(HostAddress address);

// From now on every protection change is refused, as VirtualProtect may be.
void refuseProtection();

// What the game's routine at this address does when called; text is null for callNoArgs.
void onCall(HostAddress routine, std::function<void(const char* text)> action);

const std::vector<Effect>& effects();

}  // namespace fake
