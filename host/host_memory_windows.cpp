#include "host/host_memory.h"
#include "host/page_access.h"

#include <windows.h>

#include <cstring>

namespace {

void* at(HostAddress address) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
}

}  // namespace

bool hasAccess(HostAddress address, std::uint32_t size, Access access) {
    const std::uint64_t end = std::uint64_t{address} + size;
    if (size == 0 || end > std::uint64_t{1} << 32) return false;
    // A range may cross into regions of other protections: each must allow it.
    std::uint64_t cursor = address;
    while (cursor < end) {
        MEMORY_BASIC_INFORMATION region{};
        const void* at = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(cursor));
        if (VirtualQuery(at, &region, sizeof region) == 0) return false;
        if (region.State != MEM_COMMIT || !protectionAllows(region.Protect, access)) return false;
        cursor = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

std::uint32_t read32(HostAddress address) {
    std::uint32_t value;
    std::memcpy(&value, at(address), sizeof value);
    return value;
}

void writeBytes(HostAddress address, const unsigned char* bytes, std::uint32_t size) {
    std::memcpy(at(address), bytes, size);
}

bool protect(HostAddress address, std::uint32_t size, std::uint32_t newProtection,
             std::uint32_t* previous) {
    DWORD old = 0;
    const BOOL changed = VirtualProtect(at(address), size, newProtection, &old);
    *previous = old;
    return changed != FALSE;
}

void write32(HostAddress address, std::uint32_t value) {
    std::memcpy(at(address), &value, sizeof value);
}

void callNoArgs(HostAddress routine) {
    using Routine = void(__cdecl*)();
    reinterpret_cast<Routine>(static_cast<std::uintptr_t>(routine))();
}

void callWithString(HostAddress routine, const char* text) {
    using Routine = void(__cdecl*)(const char*);
    reinterpret_cast<Routine>(static_cast<std::uintptr_t>(routine))(text);
}

unsigned char* hostByte(HostAddress address) {
    return static_cast<unsigned char*>(at(address));
}
