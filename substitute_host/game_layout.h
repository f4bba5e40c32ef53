#pragma once

// The game as the tests lay it out: each build's fixed addresses, and where
// our stand-in keeps its code, its data, its menu page and its flag byte. Used
// by the substitute host under Wine and by the recording fake natively.

#include <cstdint>
#include <ostream>

#include "plugin/host_profile.h"

// Each build's fixed addresses, written out again here so that the tests do
// not take them from the plug-in they check.
// clang-format off
//                                  probe     page      flagSrc   flagDest  enterDir  setDir
inline constexpr HostProfile kA = {0x667BF0, 0x4966A0, 0x48FEB0, 0x4902D2, 0x48E020, 0x48E030};
inline constexpr HostProfile kB = {0x667C40, 0x4966B0, 0x48FEC0, 0x4902E2, 0x48E030, 0x48E040};
inline constexpr HostProfile kC = {0,        0x4965B0, 0x48FDC0, 0x4901E2, 0x48DF10, 0x48DF20};
// clang-format on
inline constexpr HostProfile kBuilds[] = {kA, kB, kC};

// 0, 1, 2 for A, B, C: the slots tell the builds apart.
constexpr std::uint32_t indexOf(const HostProfile& build) {
    return build.pageSlot == kA.pageSlot ? 0 : build.pageSlot == kB.pageSlot ? 1 : 2;
}
constexpr const char* nameOf(const HostProfile& build) {
    constexpr const char* kNames[] = {"A", "B", "C"};
    return kNames[indexOf(build)];
}

inline void PrintTo(const HostProfile& build, std::ostream* out) { *out << "build " << nameOf(build); }

constexpr unsigned char kSignature[] = {0x55, 0x89, 0xE5, 0x53};
constexpr HostAddress kProbeA = 0x667BF0;
constexpr HostAddress kProbeB = 0x667C40;

// The whole range the game's fixed addresses fall in.
constexpr HostAddress kGameBegin = 0x48D000;
constexpr HostAddress kGameEnd = 0x668000;

// Code (execute-read): routines, slots and operands, and the probe page.
constexpr HostAddress kCodeBase = 0x48D000;
constexpr std::uint32_t kCodeSize = 0xB000;
constexpr HostAddress kProbePage = 0x667000;
constexpr std::uint32_t kPageSize = 0x1000;

// Data (read-write): each build's menu page, flag byte and old operand target
// differ, so a plug-in that used the wrong build's slots shows.
constexpr HostAddress kDataBase = 0x5A0000;
constexpr std::uint32_t kDataSize = 0x10000;

constexpr HostAddress pageBaseOf(const HostProfile& build) {
    return kDataBase + kPageSize * (1 + indexOf(build));
}
constexpr HostAddress flagAddressOf(const HostProfile& build) {
    return kDataBase + 0x8000 + 0x10 * indexOf(build);
}
constexpr HostAddress oldOperandOf(const HostProfile& build) {
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
