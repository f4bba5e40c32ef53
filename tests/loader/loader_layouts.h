#pragma once

// Runnable game executables laid out the ways a loader may map differently:
// sections off their sectors, cut short, without data, aligned below a page,
// files ending early. Each named layout says what the checker must make of it
// and what must stand at a few addresses once mapped; the native tests hold
// the checker's reading to that, the loader comparison holds Wine's loader to
// the same, and to the checker's whole mapping besides.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "substitute_host/game_executable.h"
#include "tests/wine/loader_dump.h"

constexpr HostAddress kLoaderImageBase = 0x400000;
constexpr std::uint32_t kSector = 0x200;

struct LoaderLayout {
    std::string name;
    // The executable: the runnable game of `setup`, then `changes` in their
    // order, made when first asked for. Every test program lists every named
    // layout when it starts, and making them all would cost more than the rest
    // of its start.
    GameSetup setup;
    std::vector<std::function<void(LoaderLayout&)>> changes;
    ExeLayout& exe() const;
    long sizeChange = 0;  // bytes of zeros added to the end of the file, or, below 0, cut off
    unsigned char settingsFlag = 0x01;
    // A header field set in the written file: 2 or 4 bytes at an offset from the
    // PE header (or the file's start), as a wrapper or an old linker may write it.
    struct Field {
        std::uint32_t at;
        std::uint32_t size;
        std::uint32_t value;
        bool inDosHeader = false;
    };
    std::vector<Field> fields;
    // The game's own code cannot run (no imports, no entry point): the loader
    // maps it, and the game ends before it loads the DLL.
    bool gameCannotRun = false;
    mutable std::shared_ptr<ExeLayout> made;  // once made; shared by copies made from it
};

// Offsets of header fields from the PE header, for LoaderLayout::fields; e_lfanew's from the file's start.
constexpr std::uint32_t kLfanewField = 0x3C;
constexpr std::uint32_t kMachineField = 4;
constexpr std::uint32_t kSectionCountField = 6;
constexpr std::uint32_t kOptionalSizeField = 20;
constexpr std::uint32_t kMagicField = 24;
constexpr std::uint32_t kEntryPointField = 24 + 16;
constexpr std::uint32_t kImageBaseField = 24 + 28;
constexpr std::uint32_t kSectionAlignmentField = 24 + 32;
constexpr std::uint32_t kFileAlignmentField = 24 + 36;
constexpr std::uint32_t kImageSizeField = 24 + 56;
constexpr std::uint32_t kHeadersSizeField = 24 + 60;

std::vector<unsigned char> fileOf(const LoaderLayout& layout);

// What a mapped image must hold at one address: its bytes there, and the
// protection of its page; a protection of 0 is a page not committed.
struct MappedProbe {
    HostAddress address;
    std::vector<unsigned char> bytes;
    std::uint32_t protection;
};

struct NamedLayout {
    LoaderLayout layout;
    int checkerStatus;    // 0 applies, 1 does not, 2 cannot tell
    const char* build;    // the checker's, when it can tell
    const char* refusal;  // words of the checker's refusal
    // Beside the real DLL; not held where Windows and Wine part, for a gap.
    ImageDump::Outcome underWine;
    std::vector<MappedProbe> probes;  // where the file maps
};

const std::vector<NamedLayout>& namedLayouts();

// The pieces random layouts are made of.
LoaderLayout runnable(const std::string& name, const GameSetup& setup = {});
// The game's memory from kGameBegin as a layout's sections give it.
std::vector<unsigned char> gameMemoryOf(const ExeLayout& exe);
// Every section's data where it lies in memory, the file as the image: as a
// linker writes it for an alignment below a page.
void flatten(ExeLayout& exe, std::uint32_t alignment = kSector);
std::uint32_t roundUp(std::uint64_t value, std::uint32_t alignment);
