#pragma once

// The stand-in game as an executable file, from the same setups the substitute
// host lays out in memory: a PE32 i386 file with its base at 0x400000, a code
// section below the game's range, and the game's pages from kGameBegin to
// kGameEnd in sections of one protection each. Guard pages are written as
// plain data. For menupatch-check's tests and its demo.

#include <cstdint>
#include <string>
#include <vector>

#include "substitute_host/game_setup.h"

// Where the generator puts its headers, for tests that damage them.
constexpr std::uint32_t kExeNtHeader = 0x80;
constexpr std::uint32_t kExeOptionalHeader = kExeNtHeader + 24;
constexpr std::uint32_t kExeOptionalHeaderSize = 224;
constexpr std::uint32_t kExeSectionTable = kExeOptionalHeader + kExeOptionalHeaderSize;
constexpr std::uint32_t kExeHeadersSize = 0x400;

struct ExecutableOptions {
    bool relocatable = false;  // relocations and a dynamic base
    std::uint32_t resourceBytes = 0;  // a read-only section of this much data after the game's
    std::string manifest;  // carried as resource 24/1, as a linker embeds an application manifest
};

// The game's bytes from kGameBegin to kGameEnd, as the setup lays them out.
std::vector<unsigned char> gameBytesOf(const GameSetup& setup);

std::vector<unsigned char> gameExecutable(const GameSetup& setup, const std::vector<unsigned char>& game,
                                          const ExecutableOptions& options = {});
std::vector<unsigned char> gameExecutable(const GameSetup& setup, const ExecutableOptions& options = {});

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
