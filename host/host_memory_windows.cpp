#include "host/host_memory.h"

#include <windows.h>

#include <cstring>

namespace {

void* at(HostAddress address) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
}

}  // namespace

HostRegion queryRegion(HostAddress address) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(at(address), &info, sizeof info) == 0) return {address, 0, false, 0};
    return {static_cast<HostAddress>(reinterpret_cast<std::uintptr_t>(info.BaseAddress)),
            static_cast<std::uint32_t>(info.RegionSize), info.State == MEM_COMMIT, info.Protect};
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
