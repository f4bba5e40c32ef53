#pragma once

// The game's memory as the three builds lay it out, in the recording fake, and
// a test fixture with real folders for the settings file.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "host/host_memory.h"

struct BuildAddresses {
    const char* name;
    HostAddress probe;  // 0: none
    HostAddress pageSlot;
    HostAddress flagSourceSlot;
    HostAddress flagDestSlot;
    HostAddress enterSettingsDir;
    HostAddress setDir;
};

// clang-format off
inline constexpr BuildAddresses kA = {"A", 0x667BF0, 0x4966A0, 0x48FEB0, 0x4902D2, 0x48E020, 0x48E030};
inline constexpr BuildAddresses kB = {"B", 0x667C40, 0x4966B0, 0x48FEC0, 0x4902E2, 0x48E030, 0x48E040};
inline constexpr BuildAddresses kC = {"C", 0,        0x4965B0, 0x48FDC0, 0x4901E2, 0x48DF10, 0x48DF20};
// clang-format on
inline constexpr BuildAddresses kBuilds[] = {kA, kB, kC};

inline void PrintTo(const BuildAddresses& build, std::ostream* out) { *out << "build " << build.name; }

constexpr unsigned char kSignature[] = {0x55, 0x89, 0xE5, 0x53};
constexpr HostAddress kProbeA = 0x667BF0;
constexpr HostAddress kProbeB = 0x667C40;

// Each build's slots hold values of their own, so using the wrong build shows.
HostAddress pageBaseOf(const BuildAddresses& build);
HostAddress flagAddressOf(const BuildAddresses& build);
HostAddress oldOperandOf(const BuildAddresses& build);

// Code pages execute-read, data pages read-write, every build's slots filled,
// the signature where asked; the menu page and the flag byte hold filler.
void layOutGame(bool signatureAtA, bool signatureAtB);

constexpr unsigned char kPageFiller = 0xA5;
constexpr unsigned char kGameFlag = 0x05;

// Runs in a fresh fake game, with a settings folder and a starting folder of its
// own on disk. The settings routines of the chosen build move between them.
class GameTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The build's two routines do what the game's do: make the settings folder
    // current, and later leave it. Each records the flag byte it saw.
    void serveRoutinesOf(const BuildAddresses& build);

    // A settings file of `size` bytes whose byte at `offset` is `value`.
    static void writeFile(const std::string& folder, std::size_t size, std::size_t offset,
                          unsigned char value);

    std::string settingsFolder;
    std::string startFolder;
    int flagSeenOnEnter = -1;
    int flagSeenOnSetDir = -1;
    int openFilesOnSetDir = -1;
    int openFilesBefore = -1;

private:
    std::string root;
    std::string originalFolder;
};

int openFileCount();
