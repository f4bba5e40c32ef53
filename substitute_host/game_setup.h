#pragma once

// One game as the tests lay it out, as bytes and page protections: the
// substitute host puts it in its memory under Wine, and the tests' generator
// of game executables writes it into a file. Portable.

#include <cstdint>
#include <string>

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

// The setup of a build by its name: "A", "B", "C", or "AB" (build A with both
// signatures). False for any other name.
bool setupOfBuild(const std::string& name, GameSetup* setup);

// The bytes from kGameBegin to kGameEnd: code as a compiler lays it out in the
// code pages, and over it slots, operands, routines (int3), stock menu rows and
// flag bytes for every build, and signatures where asked.
void layOutGameBytes(const GameSetup& setup, unsigned char* game);

// The protection of the game's page that holds the address: code and probe
// execute-read, data read-write, with the setup's variations.
std::uint32_t pageProtectionOf(const GameSetup& setup, HostAddress address);
