#include "substitute_host/game_image.h"

#include <cstring>

namespace {

// Linked at 0x400000 with little code before it, this .bss region starts below
// the game's first address and ends above its last; gameImageCoversGame checks.
constexpr std::uint32_t kImageSize = 0x400000;
alignas(4096) unsigned char gImage[kImageSize];

constexpr unsigned char kInt3 = 0xCC;
constexpr unsigned char kJmpRel32 = 0xE9;

std::uintptr_t imageBegin() { return reinterpret_cast<std::uintptr_t>(gImage); }

// Stock rows of our stand-in's page, so there is something to replace.
void writeStockRows(HostAddress pageBase) {
    unsigned char* row = gameBytes(pageBase + kRowsOffset);
    for (int i = 0; i < 9; ++i, row += 18) {
        const std::uint16_t fields[] = {static_cast<std::uint16_t>(100 + i), 64,
                                        static_cast<std::uint16_t>(120 + 30 * i), 0};
        std::memcpy(row, &fields[0], 2);
        char key[8] = {'S', 'T', 'O', 'C', 'K', '_', static_cast<char>('1' + i), 0};
        std::memcpy(row + 2, key, 8);
        row[10] = 0;
        row[11] = 2;
        std::memcpy(row + 12, &fields[1], 6);
    }
}

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
    std::memset(gameBytes(kGameBegin), 0, kGameEnd - kGameBegin);

    for (const HostProfile& build : kBuilds) {
        gameWrite32(build.pageSlot, pageBaseOf(build));
        gameWrite32(build.flagSourceSlot, flagAddressOf(build));
        gameWrite32(build.flagDestSlot, oldOperandOf(build));
        std::memset(gameBytes(pageBaseOf(build)), kPageFiller, kPageSize);
        writeStockRows(pageBaseOf(build));
        *gameBytes(flagAddressOf(build)) = kGameFlag;
        *gameBytes(build.enterSettingsDirRoutine) = kInt3;
        *gameBytes(build.setDirRoutine) = kInt3;
    }
    if (setup.signatureAtA) std::memcpy(gameBytes(kProbeA), kSignature, 4);
    if (setup.signatureAtB) std::memcpy(gameBytes(kProbeB), kSignature, 4);
    if (setup.overridePageBase) gameWrite32(setup.build.pageSlot, setup.pageBase);
    if (setup.overrideFlagAddress) gameWrite32(setup.build.flagSourceSlot, setup.flagAddress);
}

void installRoutines(const HostProfile& build, void (*enter)(), void (*setDir)(const char*)) {
    jumpTo(build.enterSettingsDirRoutine, reinterpret_cast<const void*>(enter));
    jumpTo(build.setDirRoutine, reinterpret_cast<const void*>(setDir));
    FlushInstructionCache(GetCurrentProcess(), gameBytes(kCodeBase), kCodeSize);
}

void protectGame(const GameSetup& setup) {
    DWORD old;
    const DWORD code = setup.codeWritable ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
    VirtualProtect(gameBytes(kCodeBase), kCodeSize, code, &old);
    VirtualProtect(gameBytes(kProbePage), kPageSize, setup.probeNoAccess ? PAGE_NOACCESS : code, &old);
    if (setup.routinesNotExecutable) {
        VirtualProtect(gameBytes(setup.build.enterSettingsDirRoutine), 1, PAGE_READWRITE, &old);
        VirtualProtect(gameBytes(setup.build.setDirRoutine), 1, PAGE_READWRITE, &old);
    }
    if (setup.readOnlyPage != 0) VirtualProtect(gameBytes(setup.readOnlyPage), 1, PAGE_READONLY, &old);
    if (setup.guardPage != 0) {
        VirtualProtect(gameBytes(setup.guardPage), 1, PAGE_READWRITE | PAGE_GUARD, &old);
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
