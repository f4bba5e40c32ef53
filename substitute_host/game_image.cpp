#include "substitute_host/game_image.h"

#include <cstring>

namespace {

// Linked at 0x400000 with little code before it, this .bss region starts below
// the game's first address and ends above its last; gameImageCoversGame checks.
constexpr std::uint32_t kImageSize = 0x400000;
alignas(4096) unsigned char gImage[kImageSize];

constexpr unsigned char kJmpRel32 = 0xE9;

std::uintptr_t imageBegin() { return reinterpret_cast<std::uintptr_t>(gImage); }

void jumpTo(HostAddress at, const void* target) {
    unsigned char* code = gameBytes(at);
    const std::int32_t displacement =
        static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(target) - (at + 5));
    code[0] = kJmpRel32;
    std::memcpy(code + 1, &displacement, 4);
}

}  // namespace

bool gameImageCoversGame() {
    return imageBegin() <= kGameBegin && imageBegin() + kImageSize >= kGameEnd;
}

unsigned char* gameBytes(HostAddress address) {
    return reinterpret_cast<unsigned char*>(static_cast<std::uintptr_t>(address));
}

std::uint32_t gameRead32(HostAddress address) {
    std::uint32_t value;
    std::memcpy(&value, gameBytes(address), 4);
    return value;
}

void gameWrite32(HostAddress address, std::uint32_t value) {
    std::memcpy(gameBytes(address), &value, 4);
}

void layOutGame(const GameSetup& setup) {
    makeGameReadable();
    layOutGameBytes(setup, gameBytes(kGameBegin));
}

void installRoutines(const HostProfile& build, void (*enter)(), void (*setDir)(const char*)) {
    jumpTo(build.enterSettingsDirRoutine, reinterpret_cast<const void*>(enter));
    jumpTo(build.setDirRoutine, reinterpret_cast<const void*>(setDir));
    FlushInstructionCache(GetCurrentProcess(), gameBytes(kCodeBase), kCodeSize);
}

void protectGame(const GameSetup& setup) {
    // One call for each run of pages that share a protection.
    HostAddress run = kGameBegin;
    for (HostAddress page = kGameBegin + kPageSize; page <= kGameEnd; page += kPageSize) {
        const DWORD protection = pageProtectionOf(setup, run);
        if (page < kGameEnd && pageProtectionOf(setup, page) == protection) continue;
        DWORD old;
        VirtualProtect(gameBytes(run), page - run, protection, &old);
        run = page;
    }
}

void makeGameReadable() {
    DWORD old;
    VirtualProtect(gameBytes(kGameBegin), kGameEnd - kGameBegin, PAGE_READWRITE, &old);
}

HostAddress uncommittedAddress() {
    static void* const region = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS);
    return static_cast<HostAddress>(reinterpret_cast<std::uintptr_t>(region)) + 0x100;
}

DWORD protectionAt(HostAddress address) {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(gameBytes(address), &info, sizeof info);
    return info.Protect;
}

std::vector<unsigned char> snapshotGame() {
    return {gameBytes(kGameBegin), gameBytes(kGameEnd)};
}

std::vector<HostAddress> changesOutside(const std::vector<unsigned char>& before,
                                        const std::vector<ByteRange>& allowed) {
    std::vector<HostAddress> changed;
    for (HostAddress a = kGameBegin; a < kGameEnd; ++a) {
        // Whole unchanged pages first: the range is large and changes are few.
        if (a % kPageSize == 0 &&
            std::memcmp(gameBytes(a), &before[a - kGameBegin], kPageSize) == 0) {
            a += kPageSize - 1;
            continue;
        }
        if (*gameBytes(a) == before[a - kGameBegin]) continue;
        bool inAllowed = false;
        for (const ByteRange& range : allowed) {
            inAllowed = inAllowed || (a >= range.begin && a - range.begin < range.size);
        }
        if (!inAllowed) changed.push_back(a);
    }
    return changed;
}
