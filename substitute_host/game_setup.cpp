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

// The game's code as a 32-bit compiler lays it out, so that what stands
// around the slots and the signature is code, as in the game: functions with
// a frame, moves, calls, compares and branches, each ending in a return and
// padded to 16 bytes as gcc pads. Made up from a seed: the same every time.
void layOutCode(unsigned char* game, HostAddress from, HostAddress to) {
    std::uint32_t seed = from;
    const auto next = [&seed](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    unsigned char* at = game + (from - kGameBegin);
    unsigned char* const end = game + (to - kGameBegin);
    const auto put = [&](std::initializer_list<unsigned char> bytes) {
        for (unsigned char b : bytes) {
            if (at < end) *at++ = b;
        }
    };
    const auto imm32 = [&](std::uint32_t value) {
        put({static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
             static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
    };
    const auto disp = [&] { return static_cast<unsigned char>(8 + 4 * next(8)); };
    const auto local = [&] { return static_cast<unsigned char>(0x100 - 4 * (1 + next(8))); };
    constexpr unsigned char kSaved[] = {0x53, 0x56, 0x57};  // ebx, esi, edi
    while (at < end) {
        const std::uint32_t saved = next(4);
        put({0x55, 0x89, 0xE5});  // push ebp; mov ebp, esp
        for (std::uint32_t i = 0; i < saved; ++i) put({kSaved[i]});
        put({0x83, 0xEC, static_cast<unsigned char>(8 + 4 * next(10))});  // sub esp, n
        for (std::uint32_t i = 0, body = 6 + next(20); i < body; ++i) {
            switch (next(14)) {
                case 0: put({0x8B, 0x45, disp()}); break;                // mov eax, [ebp+n]
                case 1: put({0x8B, 0x55, disp()}); break;                // mov edx, [ebp+n]
                case 2: put({0x89, 0x45, local()}); break;               // mov [ebp-n], eax
                case 3: put({0x89, 0x44, 0x24, disp()}); break;          // mov [esp+n], eax
                case 4: put({0xC7, 0x44, 0x24, disp()}), imm32(next(0x100)); break;  // mov dword [esp+n], k
                case 5: put({0xE8}), imm32(0xFFFF0000 + next(0x10000)); break;      // call
                case 6: put({0x85, 0xC0, static_cast<unsigned char>(0x74 + next(2)),
                             static_cast<unsigned char>(4 + next(24))}); break;       // test eax, eax; je/jne
                case 7: put({0x83, 0xF8, static_cast<unsigned char>(next(16))}); break;  // cmp eax, k
                case 8: put({0x01, 0xD0}); break;                        // add eax, edx
                case 9: put({0x8D, 0x45, local()}); break;               // lea eax, [ebp-n]
                case 10: put({0xA1}), imm32(kDataBase + 4 * next(0x1000)); break;  // mov eax, [global]
                case 11: put({0x0F, 0xB6, 0x45, disp()}); break;         // movzx eax, byte [ebp+n]
                case 12: put({0x31, 0xC0}); break;                       // xor eax, eax
                default: put({0x89, 0xC3}); break;                       // mov ebx, eax
            }
        }
        put({0x83, 0xC4, static_cast<unsigned char>(8 + 4 * next(10))});  // add esp, n
        for (std::uint32_t i = saved; i > 0; --i) put({static_cast<unsigned char>(kSaved[i - 1] + 8)});
        put({0x5D, 0xC3});  // pop ebp; ret
        while (at < end && (at - game) % 16 != 0) put({0x90});
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
    layOutCode(game, kCodeBase, kCodeBase + kCodeSize);
    layOutCode(game, kProbePage, kProbePage + kPageSize);
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
