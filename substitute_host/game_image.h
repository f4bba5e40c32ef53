#pragma once

// The stand-in game's memory under a real Windows loader: one zero-filled
// static region that the executable's fixed base puts over all the game's
// addresses, laid out as one build has it.

#include <windows.h>

#include <string>
#include <vector>

#include "substitute_host/game_layout.h"

struct GameSetup {
    HostProfile build = kA;
    bool signatureAtA = true;
    bool signatureAtB = false;
    bool codeWritable = false;  // code pages execute-read-write from the start

    // A host that is not what its signature says: the chosen build's slots
    // point elsewhere, or its pages lack the access the game's have.
    bool overridePageBase = false;
    HostAddress pageBase = 0;
    bool overrideFlagAddress = false;
    HostAddress flagAddress = 0;
    bool probeNoAccess = false;
    bool routinesNotExecutable = false;
    HostAddress readOnlyPage = 0;  // the page holding it becomes read-only; 0: none
    HostAddress guardPage = 0;     // the page holding it becomes a guard page; 0: none
};

// False when the link did not put the region over the game's addresses.
bool gameImageCoversGame();

unsigned char* gameBytes(HostAddress address);
std::uint32_t gameRead32(HostAddress address);
void gameWrite32(HostAddress address, std::uint32_t value);

// Slots, operands, routines, stock menu rows and flag bytes for every build,
// and signatures where asked; every page read-write.
void layOutGame(const GameSetup& setup);

// The chosen build's two routines jump to `enter` and `setDir` (both cdecl);
// every other build's routine addresses hold int3.
void installRoutines(const HostProfile& build, void (*enter)(), void (*setDir)(const char*));

// The protection the game's pages have (code execute-read, data read-write),
// with the setup's variations.
void protectGame(const GameSetup& setup);

// Every page read-write again, so that the whole range can be compared.
void makeGameReadable();

// An address where nothing is committed: inside a region reserved for the
// process's life, so that no later allocation can land there.
HostAddress uncommittedAddress();

DWORD protectionAt(HostAddress address);

std::vector<unsigned char> snapshotGame();

struct ByteRange {
    HostAddress begin;
    std::uint32_t size;
};

// Addresses whose byte differs from `before`, outside the allowed ranges.
std::vector<HostAddress> changesOutside(const std::vector<unsigned char>& before,
                                        const std::vector<ByteRange>& allowed);
