#pragma once

// The game as the tests lay it out: each build's fixed addresses, and where
// our stand-in keeps its code, its data, its menu page and its flag byte. Used
// by the substitute host under Wine and by the recording fake natively.

#include <cstdint>
#include <ostream>

using GameAddress = std::uint32_t;

struct BuildAddresses {
    const char* name;
    GameAddress probe;  // 0: none
    GameAddress pageSlot;
    GameAddress flagSourceSlot;
    GameAddress flagDestSlot;
    GameAddress enterSettingsDir;
    GameAddress setDir;
};

// clang-format off
inline constexpr BuildAddresses kA = {"A", 0x667BF0, 0x4966A0, 0x48FEB0, 0x4902D2, 0x48E020, 0x48E030};
inline constexpr BuildAddresses kB = {"B", 0x667C40, 0x4966B0, 0x48FEC0, 0x4902E2, 0x48E030, 0x48E040};
inline constexpr BuildAddresses kC = {"C", 0,        0x4965B0, 0x48FDC0, 0x4901E2, 0x48DF10, 0x48DF20};
// clang-format on
inline constexpr BuildAddresses kBuilds[] = {kA, kB, kC};

inline void PrintTo(const BuildAddresses& build, std::ostream* out) { *out << "build " << build.name; }

constexpr unsigned char kSignature[] = {0x55, 0x89, 0xE5, 0x53};
constexpr GameAddress kProbeA = 0x667BF0;
constexpr GameAddress kProbeB = 0x667C40;

// The whole range the game's fixed addresses fall in.
constexpr GameAddress kGameBegin = 0x48D000;
constexpr GameAddress kGameEnd = 0x668000;

// Code (execute-read): routines, slots and operands, and the probe page.
constexpr GameAddress kCodeBase = 0x48D000;
constexpr std::uint32_t kCodeSize = 0xB000;
constexpr GameAddress kProbePage = 0x667000;
constexpr std::uint32_t kPageSize = 0x1000;

// Data (read-write): each build's menu page, flag byte and old operand target
// differ, so a plug-in that used the wrong build's slots shows.
constexpr GameAddress kDataBase = 0x5A0000;
constexpr std::uint32_t kDataSize = 0x10000;

constexpr std::uint32_t indexOf(const BuildAddresses& build) { return build.name[0] - 'A'; }
constexpr GameAddress pageBaseOf(const BuildAddresses& build) {
    return kDataBase + kPageSize * (1 + indexOf(build));
}
constexpr GameAddress flagAddressOf(const BuildAddresses& build) {
    return kDataBase + 0x8000 + 0x10 * indexOf(build);
}
constexpr GameAddress oldOperandOf(const BuildAddresses& build) {
    return kDataBase + 0x9000 + 0x10 * indexOf(build);
}

constexpr std::uint32_t kRowsOffset = 968;
constexpr std::uint32_t kRowsSize = 162;
constexpr std::uint32_t kSettingsFlagOffset = 1466;

constexpr unsigned char kPageFiller = 0xA5;
constexpr unsigned char kGameFlag = 0x05;

static_assert(kCodeBase == kGameBegin && kCodeBase + kCodeSize <= kDataBase);
static_assert(kDataBase + kDataSize <= kProbePage && kProbePage + kPageSize == kGameEnd);
static_assert(pageBaseOf(kC) + kPageSize <= flagAddressOf(kA));
