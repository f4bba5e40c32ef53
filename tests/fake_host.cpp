#include "tests/fake_host.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>

namespace fake {
namespace {

struct Region {
    HostAddress base;
    std::vector<unsigned char> bytes;
    std::uint32_t protection;
};

struct State {
    std::vector<Region> regions;
    std::map<HostAddress, std::function<void(const char*)>> routines;
    std::vector<Effect> effects;
    bool refuseProtection = false;
};

State& state() {
    static State instance;
    return instance;
}

Region* regionOf(HostAddress address, std::uint32_t size) {
    for (Region& region : state().regions) {
        const std::uint64_t end = std::uint64_t{region.base} + region.bytes.size();
        if (address >= region.base && std::uint64_t{address} + size <= end) return &region;
    }
    return nullptr;
}

Region& mapped(HostAddress address, std::uint32_t size) {
    Region* region = regionOf(address, size);
    if (region == nullptr) {
        ADD_FAILURE() << "touches unmapped game memory at 0x" << std::hex << address;
        static Region nowhere{0, std::vector<unsigned char>(4096), PAGE_READWRITE};
        return nowhere;
    }
    return *region;
}

bool writable(std::uint32_t protection) {
    return protection == PAGE_READWRITE || protection == PAGE_WRITECOPY ||
           protection == PAGE_EXECUTE_READWRITE || protection == PAGE_EXECUTE_WRITECOPY;
}

unsigned char* bytesFor(HostAddress address, std::uint32_t size, bool forWriting) {
    Region& region = mapped(address, size);
    if (forWriting && !writable(region.protection)) {
        ADD_FAILURE() << "writes to game memory that is not writable at 0x" << std::hex << address;
    }
    return region.bytes.data() + (address - region.base);
}

void record(Effect effect) { state().effects.push_back(std::move(effect)); }

}  // namespace

bool operator==(const Effect& a, const Effect& b) {
    return a.op == b.op && a.address == b.address && a.size == b.size && a.value == b.value &&
           a.text == b.text;
}

void PrintTo(const Effect& effect, std::ostream* out) {
    static const char* const names[] = {"read32",  "writeBytes",   "protect",
                                        "write32", "callNoArgs", "callWithString"};
    *out << names[static_cast<int>(effect.op)] << "(0x" << std::hex << effect.address;
    if (effect.size != 0) *out << ", size 0x" << effect.size;
    if (effect.op != Op::CallNoArgs && effect.op != Op::CallWithString)
        *out << ", value 0x" << effect.value;
    if (effect.op == Op::CallWithString) *out << ", \"" << effect.text << "\"";
    *out << std::dec << ")";
}

Effect read32At(HostAddress address, std::uint32_t value) {
    return {Op::Read32, address, 4, value, {}};
}
Effect copyTo(HostAddress address, std::uint32_t size) {
    return {Op::WriteBytes, address, size, 0, {}};
}
Effect protectAs(HostAddress address, std::uint32_t size, std::uint32_t protection) {
    return {Op::Protect, address, size, protection, {}};
}
Effect write32At(HostAddress address, std::uint32_t value) {
    return {Op::Write32, address, 4, value, {}};
}
Effect callOf(HostAddress routine) { return {Op::CallNoArgs, routine, 0, 0, {}}; }
Effect callOf(HostAddress routine, const std::string& text) {
    return {Op::CallWithString, routine, 0, 0, text};
}

void reset() { state() = State{}; }

void map(HostAddress base, std::uint32_t size, std::uint32_t protection) {
    state().regions.push_back({base, std::vector<unsigned char>(size), protection});
}

void poke(HostAddress address, const std::vector<unsigned char>& bytes) {
    Region& region = mapped(address, static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(region.bytes.data() + (address - region.base), bytes.data(), bytes.size());
}

void poke32(HostAddress address, std::uint32_t value) {
    std::vector<unsigned char> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    poke(address, bytes);
}

std::vector<unsigned char> peek(HostAddress address, std::uint32_t size) {
    Region& region = mapped(address, size);
    const auto first = region.bytes.begin() + (address - region.base);
    return {first, first + size};
}

std::uint32_t peek32(HostAddress address) {
    std::uint32_t value;
    std::memcpy(&value, peek(address, 4).data(), 4);
    return value;
}

std::uint32_t protectionAt(HostAddress address) { return mapped(address, 1).protection; }

void refuseProtection() { state().refuseProtection = true; }

void onCall(HostAddress routine, std::function<void(const char*)> action) {
    state().routines[routine] = std::move(action);
}

const std::vector<Effect>& effects() { return state().effects; }

}  // namespace fake

using fake::Effect;
using fake::Op;

std::uint32_t read32(HostAddress address) {
    std::uint32_t value;
    std::memcpy(&value, fake::bytesFor(address, 4, false), 4);
    fake::record({Op::Read32, address, 4, value, {}});
    return value;
}

void writeBytes(HostAddress address, const unsigned char* bytes, std::uint32_t size) {
    fake::record({Op::WriteBytes, address, size, 0, {}});
    std::memcpy(fake::bytesFor(address, size, true), bytes, size);
}

bool protect(HostAddress address, std::uint32_t size, std::uint32_t newProtection,
             std::uint32_t* previous) {
    fake::record({Op::Protect, address, size, newProtection, {}});
    if (fake::state().refuseProtection) return false;
    fake::Region& region = fake::mapped(address, size);
    *previous = region.protection;
    region.protection = newProtection;
    return true;
}

void write32(HostAddress address, std::uint32_t value) {
    fake::record({Op::Write32, address, 4, value, {}});
    std::memcpy(fake::bytesFor(address, 4, true), &value, 4);
}

namespace {

void callRoutine(HostAddress routine, const char* text) {
    const auto found = fake::state().routines.find(routine);
    if (found == fake::state().routines.end()) {
        ADD_FAILURE() << "calls 0x" << std::hex << routine << ", which is no routine of this game";
        return;
    }
    found->second(text);
}

}  // namespace

void callNoArgs(HostAddress routine) {
    fake::record({Op::CallNoArgs, routine, 0, 0, {}});
    callRoutine(routine, nullptr);
}

void callWithString(HostAddress routine, const char* text) {
    fake::record({Op::CallWithString, routine, 0, 0, text});
    callRoutine(routine, text);
}

unsigned char* hostByte(HostAddress address) { return fake::bytesFor(address, 1, true); }
