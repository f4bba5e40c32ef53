#include "substitute_host/game_executable.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr HostAddress kImageBase = 0x400000;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr HostAddress kStubCode = kImageBase + 0x1000;

constexpr std::uint32_t kCode = 0x00000020;
constexpr std::uint32_t kInitialisedData = 0x00000040;
constexpr std::uint32_t kExecutes = 0x20000000;
constexpr std::uint32_t kReads = 0x40000000;
constexpr std::uint32_t kWrites = 0x80000000;

struct Section {
    std::string name;
    HostAddress begin;
    HostAddress end;
    std::uint32_t characteristics;
    std::vector<unsigned char> raw;
};

void put16(std::vector<unsigned char>& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<unsigned char>(value);
    out[at + 1] = static_cast<unsigned char>(value >> 8);
}
void put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    put16(out, at, static_cast<std::uint16_t>(value));
    put16(out, at + 2, static_cast<std::uint16_t>(value >> 16));
}

// Name and flags a linker would give pages of this protection.
Section sectionFor(std::uint32_t protection, HostAddress begin) {
    switch (protection & 0xFF) {
        case PAGE_EXECUTE_READ: return {".text", begin, begin, kCode | kExecutes | kReads, {}};
        case PAGE_EXECUTE_READWRITE: return {".xdata", begin, begin, kCode | kExecutes | kReads | kWrites, {}};
        case PAGE_READONLY: return {".rdata", begin, begin, kInitialisedData | kReads, {}};
        case PAGE_NOACCESS: return {".none", begin, begin, kInitialisedData, {}};
        default: return {".data", begin, begin, kInitialisedData | kReads | kWrites, {}};
    }
}

// The section's bytes without its trailing zeros, which the loader supplies.
std::vector<unsigned char> rawOf(const std::vector<unsigned char>& game, const Section& section) {
    const unsigned char* first = &game[section.begin - kGameBegin];
    std::size_t size = section.end - section.begin;
    while (size > 0 && first[size - 1] == 0) --size;
    std::vector<unsigned char> raw(first, first + size);
    raw.resize((raw.size() + kFileAlignment - 1) / kFileAlignment * kFileAlignment, 0);
    return raw;
}

// A resource tree with one entry, type 24, id 1, US English, and the data after it.
std::vector<unsigned char> manifestResource(const std::string& manifest, HostAddress sectionRva) {
    constexpr std::uint32_t kTable = 16;
    constexpr std::uint32_t kEntry = 8;
    constexpr std::uint32_t kSubdirectory = 0x80000000;
    constexpr std::uint32_t kNames = kTable + kEntry;
    constexpr std::uint32_t kLanguages = kNames + kTable + kEntry;
    constexpr std::uint32_t kDataEntry = kLanguages + kTable + kEntry;
    constexpr std::uint32_t kData = kDataEntry + 16;
    std::vector<unsigned char> tree(kData + manifest.size(), 0);
    const auto table = [&](std::uint32_t at, std::uint32_t id, std::uint32_t target) {
        put16(tree, at + 14, 1);  // one entry, by id
        put32(tree, at + kTable, id);
        put32(tree, at + kTable + 4, target);
    };
    table(0, 24, kSubdirectory | kNames);
    table(kNames, 1, kSubdirectory | kLanguages);
    table(kLanguages, 0x409, kDataEntry);
    put32(tree, kDataEntry, sectionRva + kData);
    put32(tree, kDataEntry + 4, static_cast<std::uint32_t>(manifest.size()));
    std::copy(manifest.begin(), manifest.end(), tree.begin() + kData);
    tree.resize((tree.size() + kFileAlignment - 1) / kFileAlignment * kFileAlignment, 0);
    return tree;
}

}  // namespace

std::vector<unsigned char> gameBytesOf(const GameSetup& setup) {
    std::vector<unsigned char> game(kGameEnd - kGameBegin);
    layOutGameBytes(setup, game.data());
    return game;
}

std::vector<unsigned char> gameExecutable(const GameSetup& setup, const ExecutableOptions& options) {
    return gameExecutable(setup, gameBytesOf(setup), options);
}

std::vector<unsigned char> gameExecutable(const GameSetup& setup, const std::vector<unsigned char>& game,
                                          const ExecutableOptions& options) {
    std::vector<Section> sections;
    // Below the game's range: the rest of the program's code, a few returns.
    sections.push_back({".text", kStubCode, kGameBegin, kCode | kExecutes | kReads,
                        std::vector<unsigned char>(kFileAlignment, 0xC3)});
    for (HostAddress page = kGameBegin; page < kGameEnd; page += kPageSize) {
        const Section next = sectionFor(pageProtectionOf(setup, page), page);
        if (sections.size() == 1 || sections.back().characteristics != next.characteristics) {
            sections.push_back(next);
        }
        sections.back().end = page + kPageSize;
    }
    for (std::size_t i = 1; i < sections.size(); ++i) sections[i].raw = rawOf(game, sections[i]);
    if (options.relocatable) {
        // One block of one relocation: the operand of a push in the stub code.
        std::vector<unsigned char> block(kFileAlignment, 0);
        put32(block, 0, kStubCode - kImageBase);
        put32(block, 4, 12);
        put16(block, 8, 0x3000 | 0x10);
        sections.push_back({".reloc", kGameEnd, kGameEnd + kPageSize, kInitialisedData | kReads, block});
    }
    if (options.resourceBytes != 0) {
        // As a game's bundled data would be: large, never touched by the plug-in.
        const std::uint32_t size = (options.resourceBytes + kPageSize - 1) / kPageSize * kPageSize;
        const HostAddress begin = sections.back().end;
        sections.push_back({".rsrc", begin, begin + size, kInitialisedData | kReads,
                            std::vector<unsigned char>(size, 0x5A)});
    }

    HostAddress manifestRva = 0;
    std::uint32_t manifestSize = 0;
    if (!options.manifest.empty()) {
        const HostAddress begin = sections.back().end;
        manifestRva = begin - kImageBase;
        std::vector<unsigned char> tree = manifestResource(options.manifest, manifestRva);
        manifestSize = static_cast<std::uint32_t>(tree.size());
        const HostAddress end = begin + (manifestSize + kPageSize - 1) / kPageSize * kPageSize;
        sections.push_back({".rsrc", begin, end, kInitialisedData | kReads, std::move(tree)});
    }

    std::vector<unsigned char> file(kExeHeadersSize, 0);
    file[0] = 'M';
    file[1] = 'Z';
    put32(file, 0x3C, kExeNtHeader);
    std::memcpy(&file[kExeNtHeader], "PE\0\0", 4);
    put16(file, kExeNtHeader + 4, 0x014C);
    put16(file, kExeNtHeader + 6, static_cast<std::uint16_t>(sections.size()));
    put16(file, kExeNtHeader + 20, kExeOptionalHeaderSize);
    // Executable, 32-bit; relocations stripped unless it may move.
    put16(file, kExeNtHeader + 22, options.relocatable ? 0x0102 : 0x0103);

    const std::uint32_t o = kExeOptionalHeader;
    const HostAddress imageEnd = sections.back().end;
    put16(file, o, 0x010B);
    put32(file, o + 16, kStubCode - kImageBase);  // entry point
    put32(file, o + 28, kImageBase);
    put32(file, o + 32, kPageSize);
    put32(file, o + 36, kFileAlignment);
    put16(file, o + 40, 5);
    put16(file, o + 48, 5);
    put32(file, o + 56, imageEnd - kImageBase);
    put32(file, o + 60, kExeHeadersSize);
    put16(file, o + 68, 3);  // console
    put16(file, o + 70, options.relocatable ? 0x0040 : 0);
    put32(file, o + 92, 16);
    if (manifestSize != 0) {
        put32(file, o + 96 + 8 * 2, manifestRva);
        put32(file, o + 96 + 8 * 2 + 4, manifestSize);
    }
    if (options.relocatable) {
        put32(file, o + 96 + 8 * 5, kGameEnd - kImageBase);
        put32(file, o + 96 + 8 * 5 + 4, 12);
    }

    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const std::size_t h = kExeSectionTable + 40 * i;
        std::memcpy(&file[h], s.name.c_str(), s.name.size());
        put32(file, h + 8, s.end - s.begin);
        put32(file, h + 12, s.begin - kImageBase);
        put32(file, h + 16, static_cast<std::uint32_t>(s.raw.size()));
        put32(file, h + 20, s.raw.empty() ? 0 : static_cast<std::uint32_t>(file.size()));
        put32(file, h + 36, s.characteristics);
        file.insert(file.end(), s.raw.begin(), s.raw.end());
    }
    return file;
}

// C stdio, not iostreams: the substitute host's code must stay small enough for
// its static game region to start below the game's first address.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
