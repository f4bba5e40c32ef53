#pragma once

// The stand-in game's memory under a real Windows loader: one zero-filled
// static region that the executable's fixed base puts over all the game's
// addresses, laid out as one build has it.

#include <windows.h>

#include <string>
#include <vector>

#include "substitute_host/game_setup.h"

// False when the link did not put the region over the game's addresses.
bool gameImageCoversGame();

unsigned char* gameBytes(HostAddress address);
std::uint32_t gameRead32(HostAddress address);
void gameWrite32(HostAddress address, std::uint32_t value);

// The setup's bytes in the game's memory; every page read-write.
void layOutGame(const GameSetup& setup);

// The chosen build's two routines jump to `enter` and `setDir` (both cdecl);
// every other build's routine addresses hold int3.
void installRoutines(const HostProfile& build, void (*enter)(), void (*setDir)(const char*));

// Each page of the game gets the setup's protection for it.
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
