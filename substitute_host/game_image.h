#pragma once

// The stand-in game's memory under a real Windows loader: one zero-filled
// static region that the executable's fixed base puts over all the game's
// addresses, laid out as one build has it.

#include <windows.h>

#include <string>
#include <vector>

#include "substitute_host/game_layout.h"

struct GameSetup {
    BuildAddresses build = kA;
    bool signatureAtA = true;
    bool signatureAtB = false;
    bool codeWritable = false;  // code pages execute-read-write from the start
};

// False when the link did not put the region over the game's addresses.
bool gameImageCoversGame();

unsigned char* gameBytes(GameAddress address);
std::uint32_t gameRead32(GameAddress address);
void gameWrite32(GameAddress address, std::uint32_t value);

// Slots, operands, routines, stock menu rows and flag bytes for every build,
// signatures where asked, and the protection the game's pages have.
void layOutGame(const GameSetup& setup);

// The chosen build's two routines jump to `enter` and `setDir` (both cdecl);
// every other build's routine addresses hold int3.
void installRoutines(const BuildAddresses& build, void (*enter)(), void (*setDir)(const char*));

DWORD protectionAt(GameAddress address);

std::vector<unsigned char> snapshotGame();

struct ByteRange {
    GameAddress begin;
    std::uint32_t size;
};

// Addresses whose byte differs from `before`, outside the allowed ranges.
std::vector<GameAddress> changesOutside(const std::vector<unsigned char>& before,
                                        const std::vector<ByteRange>& allowed);
