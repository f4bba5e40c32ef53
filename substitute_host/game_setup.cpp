#include "substitute_host/game_setup.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr unsigned char kInt3 = 0xCC;

HostAddress pageOf(HostAddress address) { return address & ~(kPageSize - 1); }

void put32(unsigned char* game, HostAddress address, std::uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    std::memcpy(game + (address - kGameBegin), bytes, 4);
}

// Stock rows of our stand-in's page, so there is something to replace.
void writeStockRows(unsigned char* game, HostAddress pageBase) {
    unsigned char* row = game + (pageBase + kRowsOffset - kGameBegin);
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

}  // namespace

bool setupOfBuild(const std::string& name, GameSetup* setup) {
    if (name != "A" && name != "B" && name != "C" && name != "AB") return false;
    setup->build = name == "B" ? kB : name == "C" ? kC : kA;
    setup->signatureAtA = name == "A" || name == "AB";
    setup->signatureAtB = name == "B" || name == "AB";
    return true;
}

void layOutGameBytes(const GameSetup& setup, unsigned char* game) {
    std::memset(game, 0, kGameEnd - kGameBegin);
    for (const HostProfile& build : kBuilds) {
        put32(game, build.pageSlot, pageBaseOf(build));
        put32(game, build.flagSourceSlot, flagAddressOf(build));
        put32(game, build.flagDestSlot, oldOperandOf(build));
        std::memset(game + (pageBaseOf(build) - kGameBegin), kPageFiller, kPageSize);
        writeStockRows(game, pageBaseOf(build));
        game[flagAddressOf(build) - kGameBegin] = kGameFlag;
        game[build.enterSettingsDirRoutine - kGameBegin] = kInt3;
        game[build.setDirRoutine - kGameBegin] = kInt3;
    }
    if (setup.signatureAtA) std::memcpy(game + (kProbeA - kGameBegin), kSignature, 4);
    if (setup.signatureAtB) std::memcpy(game + (kProbeB - kGameBegin), kSignature, 4);
    if (setup.overridePageBase) put32(game, setup.build.pageSlot, setup.pageBase);
    if (setup.overrideFlagAddress) put32(game, setup.build.flagSourceSlot, setup.flagAddress);
}

std::uint32_t pageProtectionOf(const GameSetup& setup, HostAddress address) {
    const HostAddress page = pageOf(address);
    if (setup.readOnlyPage != 0 && page == pageOf(setup.readOnlyPage)) return PAGE_READONLY;
    if (setup.guardPage != 0 && page == pageOf(setup.guardPage)) return PAGE_READWRITE | PAGE_GUARD;
    if (setup.routinesNotExecutable && (page == pageOf(setup.build.enterSettingsDirRoutine) ||
                                        page == pageOf(setup.build.setDirRoutine))) {
        return PAGE_READWRITE;
    }
    const std::uint32_t code = setup.codeWritable ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
    if (page == kProbePage) return setup.probeNoAccess ? PAGE_NOACCESS : code;
    if (page >= kCodeBase && page < kCodeBase + kCodeSize) return code;
    return PAGE_READWRITE;
}
