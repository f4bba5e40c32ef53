#include "tests/support/fake_host.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include "host/page_access.h"

namespace fake {
namespace {

constexpr std::uint32_t kPage = 0x1000;

struct Page {
    std::array<unsigned char, kPage> bytes{};
    std::uint32_t protection;
};

struct State {
    std::map<HostAddress, Page> pages;  // by page base; absent: not committed
    std::map<HostAddress, std::function<void(const char*)>> routines;
    std::vector<Effect> effects;
    bool refuseProtection = false;
};

State& state() {
    static State instance;
    return instance;
}

HostAddress pageOf(HostAddress address) { return address & ~(kPage - 1); }

// Every page base from the one holding `base` through the one holding its last byte.
std::vector<HostAddress> pagesOf(HostAddress base, std::uint32_t size) {
    std::vector<HostAddress> bases;
    const std::uint64_t end = std::uint64_t{base} + size;
    for (std::uint64_t page = pageOf(base); page < end; page += kPage) {
        bases.push_back(static_cast<HostAddress>(page));
    }
    return bases;
}

bool rangeAllows(HostAddress address, std::uint32_t size, Access access) {
    if (size == 0 || std::uint64_t{address} + size > kAddressSpaceEnd) return false;
    for (HostAddress base : pagesOf(address, size)) {
        const auto page = state().pages.find(base);
        if (page == state().pages.end()) return false;
        if (!protectionAllows(page->second.protection, access)) return false;
    }
    return true;
}

// The byte at address, for the fake's own use: no access check, no record.
unsigned char* byteAt(HostAddress address) {
    const auto page = state().pages.find(pageOf(address));
    if (page == state().pages.end()) {
        ADD_FAILURE() << "no game memory at 0x" << std::hex << address;
        static unsigned char nowhere;
        return &nowhere;
    }
    return &page->second.bytes[address - page->first];
}

void copyOut(HostAddress address, void* out, std::uint32_t size) {
    for (std::uint32_t i = 0; i < size; ++i) static_cast<unsigned char*>(out)[i] = *byteAt(address + i);
}

void copyIn(HostAddress address, const void* in, std::uint32_t size) {
    for (std::uint32_t i = 0; i < size; ++i) *byteAt(address + i) = static_cast<const unsigned char*>(in)[i];
}

void expectAccess(HostAddress address, std::uint32_t size, Access access, const char* what) {
    if (!rangeAllows(address, size, access)) {
        ADD_FAILURE() << what << " game memory at 0x" << std::hex << address << " that does not allow it";
    }
}

void record(Effect effect) { state().effects.push_back(std::move(effect)); }

}  // namespace

bool operator==(const Effect& a, const Effect& b) {
    return a.op == b.op && a.address == b.address && a.size == b.size && a.value == b.value &&
           a.text == b.text;
}

void PrintTo(const Effect& effect, std::ostream* out) {
    static const char* const names[] = {"read32",  "writeBytes", "protect",
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
    for (HostAddress page : pagesOf(base, size)) state().pages[page] = Page{{}, protection};
}

void unmap(HostAddress base, std::uint32_t size) {
    for (HostAddress page : pagesOf(base, size)) state().pages.erase(page);
}

void setProtection(HostAddress base, std::uint32_t size, std::uint32_t protection) {
    for (HostAddress page : pagesOf(base, size)) state().pages.at(page).protection = protection;
}

void poke(HostAddress address, const std::vector<unsigned char>& bytes) {
    copyIn(address, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

void poke32(HostAddress address, std::uint32_t value) { copyIn(address, &value, 4); }

std::vector<unsigned char> peek(HostAddress address, std::uint32_t size) {
    std::vector<unsigned char> bytes(size);
    copyOut(address, bytes.data(), size);
    return bytes;
}

std::uint32_t peek32(HostAddress address) {
    std::uint32_t value;
    copyOut(address, &value, 4);
    return value;
}

std::uint32_t protectionAt(HostAddress address) {
    const auto page = state().pages.find(pageOf(address));
    return page == state().pages.end() ? 0 : page->second.protection;
}

void refuseProtection() { state().refuseProtection = true; }

void onCall(HostAddress routine, std::function<void(const char*)> action) {
    state().routines[routine] = std::move(action);
}

const std::vector<Effect>& effects() { return state().effects; }

}  // namespace fake

using fake::Op;

// As VirtualQuery: from the page of the address, the pages after it in the same
// state and, when committed, with the same protection.
HostRegion queryRegion(HostAddress address) {
    const auto& pages = fake::state().pages;
    const HostAddress base = fake::pageOf(address);
    auto next = pages.lower_bound(base);
    if (next == pages.end() || next->first != base) {
        const std::uint64_t end = next == pages.end() ? kAddressSpaceEnd : next->first;
        // The platform's region size is 32-bit: an empty 4 GiB stops a page short.
        const std::uint64_t size = std::min(end - base, kAddressSpaceEnd - fake::kPage);
        return {base, static_cast<std::uint32_t>(size), false, 0};
    }
    const std::uint32_t protection = next->second.protection;
    std::uint64_t end = base;
    while (next != pages.end() && next->first == end && next->second.protection == protection) {
        end += fake::kPage;
        ++next;
    }
    return {base, static_cast<std::uint32_t>(end - base), true, protection};
}

std::uint32_t read32(HostAddress address) {
    fake::expectAccess(address, 4, Access::Readable, "reads");
    const std::uint32_t value = fake::peek32(address);
    fake::record({Op::Read32, address, 4, value, {}});
    return value;
}

void writeBytes(HostAddress address, const unsigned char* bytes, std::uint32_t size) {
    fake::record({Op::WriteBytes, address, size, 0, {}});
    fake::expectAccess(address, size, Access::Writable, "writes");
    fake::copyIn(address, bytes, size);
}

bool protect(HostAddress address, std::uint32_t size, std::uint32_t newProtection,
             std::uint32_t* previous) {
    fake::record({Op::Protect, address, size, newProtection, {}});
    if (fake::state().refuseProtection || !fake::rangeAllows(address, size, Access::Committed)) {
        return false;
    }
    // As VirtualProtect: the previous protection is the first page's.
    *previous = fake::protectionAt(address);
    fake::setProtection(address, size, newProtection);
    return true;
}

void write32(HostAddress address, std::uint32_t value) {
    fake::record({Op::Write32, address, 4, value, {}});
    fake::expectAccess(address, 4, Access::Writable, "writes");
    fake::copyIn(address, &value, 4);
}

namespace {

void callRoutine(HostAddress routine, const char* text) {
    fake::expectAccess(routine, 1, Access::Executable, "calls into");
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

unsigned char* hostByte(HostAddress address) {
    fake::expectAccess(address, 1, Access::Writable, "reads the settings byte into");
    return fake::byteAt(address);
}
