#pragma once

// The stand-in game as an executable file, from the same setups the substitute
// host lays out in memory: a PE32 i386 file with its base at 0x400000, a code
// section below the game's range, and the game's pages from kGameBegin to
// kGameEnd in sections of one protection each. Guard pages are written as
// plain data. For menupatch-check's tests and its demo.

#include <cstddef>
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
constexpr std::size_t kExeMostSections = (kExeHeadersSize - kExeSectionTable) / 40;  // the table's room

struct ExecutableOptions {
    bool relocatable = false;  // relocations and a dynamic base
    std::uint32_t resourceBytes = 0;  // a read-only section of this much data after the game's
    std::string manifest;  // carried as resource 24/1, as a linker embeds an application manifest
    // A game that runs: its entry loads menupatch.dll from its folder with
    // LoadLibraryA, sets the marker and sleeps; the game's routines return.
    bool runnable = false;
};

// Where a runnable game keeps what LoadLibraryA returned, then 1 once it has.
constexpr HostAddress kRunnableMarker = 0x402100;

// One section as the file's section table gives it, and the bytes the file
// holds from its raw offset on (which may run past rawSize).
struct ExeSection {
    std::string name;
    HostAddress begin;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
    std::uint32_t characteristics;
    std::vector<unsigned char> data;
};

struct ExeDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// The fields of an executable the generator sets; the rest are a linker's usual.
struct ExeLayout {
    std::uint32_t ntHeader = kExeNtHeader;  // e_lfanew: the section table follows the optional header
    std::uint16_t optionalHeaderSize = kExeOptionalHeaderSize;  // directories past it are not written
    std::uint32_t directoryCount = 16;                          // NumberOfRvaAndSizes
    std::uint32_t sectionAlignment = 0x1000;
    std::uint32_t fileAlignment = 0x200;
    std::uint32_t headersSize = kExeHeadersSize;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t entryPoint = 0;
    bool relocatable = false;
    ExeDirectory directories[16];
    std::vector<ExeSection> sections;
};

constexpr std::uint32_t kImportDirectory = 1;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kRelocationDirectory = 5;
constexpr std::uint32_t kImportAddressTable = 12;

// The game's bytes from kGameBegin to kGameEnd, as the setup lays them out.
std::vector<unsigned char> gameBytesOf(const GameSetup& setup);

// The game as a linker would write it: sections back to back in the file, each
// a whole number of FileAlignment units, code whole, a data section's trailing
// zeros left to the loader.
ExeLayout gameLayout(const GameSetup& setup, const std::vector<unsigned char>& game,
                     const ExecutableOptions& options = {});

// The file: headers, the section table, and each section's data at its raw
// offset; at most kExeMostSections sections.
std::vector<unsigned char> writeExecutable(const ExeLayout& layout);

std::vector<unsigned char> gameExecutable(const GameSetup& setup, const std::vector<unsigned char>& game,
                                          const ExecutableOptions& options = {});
std::vector<unsigned char> gameExecutable(const GameSetup& setup, const ExecutableOptions& options = {});

// None of the builds, as heavy for a reader as the format allows: `sections`
// sections (at most 65535), all empty but the last, which holds a manifest of
// `manifestBytes` (at least 256) naming an execution level.
std::vector<unsigned char> manySectionsExecutable(std::uint32_t sections,
                                                  std::uint32_t manifestBytes);

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
