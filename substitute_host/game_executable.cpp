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

void put16(std::vector<unsigned char>& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<unsigned char>(value);
    out[at + 1] = static_cast<unsigned char>(value >> 8);
}
void put32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    put16(out, at, static_cast<std::uint16_t>(value));
    put16(out, at + 2, static_cast<std::uint16_t>(value >> 16));
}

// Name and flags a linker would give pages of this protection.
ExeSection sectionFor(std::uint32_t protection, HostAddress begin) {
    switch (protection & 0xFF) {
        case PAGE_EXECUTE_READ: return {".text", begin, 0, 0, 0, kCode | kExecutes | kReads, {}};
        case PAGE_EXECUTE_READWRITE: return {".xdata", begin, 0, 0, 0, kCode | kExecutes | kReads | kWrites, {}};
        case PAGE_READONLY: return {".rdata", begin, 0, 0, 0, kInitialisedData | kReads, {}};
        case PAGE_NOACCESS: return {".none", begin, 0, 0, 0, kInitialisedData, {}};
        default: return {".data", begin, 0, 0, 0, kInitialisedData | kReads | kWrites, {}};
    }
}

std::uint32_t fileAligned(std::size_t size) {
    return static_cast<std::uint32_t>((size + kFileAlignment - 1) / kFileAlignment * kFileAlignment);
}

// The section's bytes as a linker writes them: code whole; data without its
// trailing zeros (its uninitialised part), which the loader supplies.
std::vector<unsigned char> rawOf(const std::vector<unsigned char>& game, const ExeSection& section) {
    const unsigned char* first = &game[section.begin - kGameBegin];
    std::size_t size = section.virtualSize;
    while (!(section.characteristics & kExecutes) && size > 0 && first[size - 1] == 0) --size;
    std::vector<unsigned char> raw(first, first + size);
    raw.resize(fileAligned(raw.size()), 0);
    return raw;
}

// What a runnable game has below its own range: entry code, then its imports
// and the marker, in a section the loader may write.
constexpr HostAddress kImports = kImageBase + 0x2000;
constexpr HostAddress kLoaderNames = kImports + 0x40;   // lookup table: three names and a null
constexpr HostAddress kLoaderSlots = kImports + 0x50;   // address table, the same
constexpr HostAddress kLoadLibraryName = kImports + 0x60;
constexpr HostAddress kSleepName = kImports + 0x80;
constexpr HostAddress kKernelName = kImports + 0xA0;
constexpr HostAddress kPluginName = kImports + 0xC0;
// Not called by the game itself: a wrapper's stub finds it among the game's imports.
constexpr HostAddress kVirtualProtectName = kImports + 0xE0;
static_assert(kRunnableMarker == kImports + 0x100);

void putText(std::vector<unsigned char>& out, std::size_t at, const char* text) {
    std::memcpy(&out[at], text, std::strlen(text) + 1);
}

std::vector<unsigned char> entryCode() {
    std::vector<unsigned char> code(kFileAlignment, 0xCC);
    std::size_t at = 0;
    const auto op = [&](std::initializer_list<unsigned char> bytes) {
        for (unsigned char b : bytes) code[at++] = b;
    };
    const auto imm = [&](std::uint32_t value) {
        put32(code, at, value);
        at += 4;
    };
    op({0x68}), imm(kPluginName);                  // push "menupatch.dll"
    op({0xFF, 0x15}), imm(kLoaderSlots);           // call [LoadLibraryA]
    op({0xA3}), imm(kRunnableMarker);              // mov [marker], eax
    op({0xC7, 0x05}), imm(kRunnableMarker + 4), imm(1);  // mov dword [marker + 4], 1
    op({0x6A, 0xFF});                              // push INFINITE
    op({0xFF, 0x15}), imm(kLoaderSlots + 4);       // call [Sleep]
    op({0xEB, 0xF6});                              // and again
    return code;
}

std::vector<unsigned char> importData() {
    std::vector<unsigned char> data(kFileAlignment, 0);
    const auto rva = [](HostAddress address) { return address - kImageBase; };
    const auto at = [](HostAddress address) { return address - kImports; };
    put32(data, 0, rva(kLoaderNames));  // one descriptor, then a null one
    put32(data, 12, rva(kKernelName));
    put32(data, 16, rva(kLoaderSlots));
    for (HostAddress table : {kLoaderNames, kLoaderSlots}) {
        put32(data, at(table), rva(kLoadLibraryName));
        put32(data, at(table) + 4, rva(kSleepName));
        put32(data, at(table) + 8, rva(kVirtualProtectName));
    }
    putText(data, at(kLoadLibraryName) + 2, "LoadLibraryA");
    putText(data, at(kSleepName) + 2, "Sleep");
    putText(data, at(kVirtualProtectName) + 2, "VirtualProtect");
    putText(data, at(kKernelName), "KERNEL32.dll");
    putText(data, at(kPluginName), "menupatch.dll");
    return data;
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
    tree.resize(fileAligned(tree.size()), 0);
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

ExeLayout gameLayout(const GameSetup& setup, const std::vector<unsigned char>& game,
                     const ExecutableOptions& options) {
    ExeLayout layout;
    std::vector<ExeSection>& sections = layout.sections;
    if (options.runnable) {
        sections.push_back({".text", kStubCode, kPageSize, 0, 0, kCode | kExecutes | kReads, entryCode()});
        sections.push_back({".idata", kImports, kGameBegin - kImports, 0, 0,
                            kInitialisedData | kReads | kWrites, importData()});
        layout.directories[kImportDirectory] = {kImports - kImageBase, 40};
        layout.directories[kImportAddressTable] = {kLoaderSlots - kImageBase, 16};
    } else {
        // Below the game's range: the rest of the program's code, a few returns.
        sections.push_back({".text", kStubCode, kGameBegin - kStubCode, 0, 0, kCode | kExecutes | kReads,
                            std::vector<unsigned char>(kFileAlignment, 0xC3)});
    }
    const std::size_t firstGameSection = sections.size();
    for (HostAddress page = kGameBegin; page < kGameEnd; page += kPageSize) {
        const ExeSection next = sectionFor(pageProtectionOf(setup, page), page);
        if (sections.size() == firstGameSection || sections.back().characteristics != next.characteristics) {
            sections.push_back(next);
        }
        sections.back().virtualSize = page + kPageSize - sections.back().begin;
    }
    for (std::size_t i = firstGameSection; i < sections.size(); ++i) {
        sections[i].data = rawOf(game, sections[i]);
        if (!options.runnable) continue;
        // The plug-in calls the routines of the build it takes: let them return.
        for (const HostProfile& build : kBuilds) {
            for (const HostAddress routine : {build.enterSettingsDirRoutine, build.setDirRoutine}) {
                if (routine >= sections[i].begin && routine - sections[i].begin < sections[i].data.size()) {
                    sections[i].data[routine - sections[i].begin] = 0xC3;
                }
            }
        }
    }
    if (options.relocatable) {
        // One block of one relocation: the operand of a push in the stub code.
        std::vector<unsigned char> block(kFileAlignment, 0);
        put32(block, 0, kStubCode - kImageBase);
        put32(block, 4, 12);
        put16(block, 8, 0x3000 | 0x10);
        sections.push_back({".reloc", kGameEnd, kPageSize, 0, 0, kInitialisedData | kReads, block});
        layout.directories[kRelocationDirectory] = {kGameEnd - kImageBase, 12};
        layout.relocatable = true;
    }
    const auto end = [&] { return sections.back().begin + sections.back().virtualSize; };
    if (options.resourceBytes != 0) {
        // As a game's bundled data would be: large, never touched by the plug-in.
        const std::uint32_t size = (options.resourceBytes + kPageSize - 1) / kPageSize * kPageSize;
        sections.push_back({".rsrc", end(), size, 0, 0, kInitialisedData | kReads,
                            std::vector<unsigned char>(size, 0x5A)});
    }
    if (!options.manifest.empty()) {
        const HostAddress begin = end();
        std::vector<unsigned char> tree = manifestResource(options.manifest, begin - kImageBase);
        const std::uint32_t size = static_cast<std::uint32_t>(tree.size());
        layout.directories[kResourceDirectory] = {begin - kImageBase, size};
        sections.push_back({".rsrc", begin, (size + kPageSize - 1) / kPageSize * kPageSize, 0, 0,
                            kInitialisedData | kReads, std::move(tree)});
    }

    // Back to back after the headers; a section of no data has no place.
    std::uint32_t fileEnd = kExeHeadersSize;
    for (ExeSection& section : sections) {
        section.rawSize = static_cast<std::uint32_t>(section.data.size());
        section.rawOffset = section.data.empty() ? 0 : fileEnd;
        fileEnd += section.rawSize;
    }
    layout.sizeOfImage = end() - kImageBase;
    layout.entryPoint = kStubCode - kImageBase;
    return layout;
}

std::vector<unsigned char> writeExecutable(const ExeLayout& layout) {
    const std::size_t tableEnd = std::size_t{layout.ntHeader} + 24 + layout.optionalHeaderSize + 40 * layout.sections.size();
    std::size_t fileSize = std::max<std::size_t>(layout.headersSize, std::max<std::size_t>(tableEnd, layout.ntHeader + 24 + 96));
    for (const ExeSection& s : layout.sections) {
        if (!s.data.empty()) fileSize = std::max<std::size_t>(fileSize, std::size_t{s.rawOffset} + s.data.size());
    }
    std::vector<unsigned char> file(fileSize, 0);
    file[0] = 'M';
    file[1] = 'Z';
    const std::uint32_t nt = layout.ntHeader;
    put32(file, 0x3C, nt);
    std::memcpy(&file[nt], "PE\0\0", 4);
    put16(file, nt + 4, 0x014C);
    put16(file, nt + 6, static_cast<std::uint16_t>(layout.sections.size()));
    put16(file, nt + 20, layout.optionalHeaderSize);
    // Executable, 32-bit; relocations stripped unless it may move.
    put16(file, nt + 22, layout.relocatable ? 0x0102 : 0x0103);

    // Sizes and bases of code and data as a linker sums them; the loader never
    // reads them, but packers do (UPX refuses a BaseOfCode of 0).
    std::uint32_t codeSize = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t codeBase = 0;
    std::uint32_t dataBase = 0;
    for (const ExeSection& s : layout.sections) {
        const bool code = s.characteristics & kCode;
        (code ? codeSize : dataSize) += s.rawSize;
        std::uint32_t& base = code ? codeBase : dataBase;
        if (base == 0) base = s.begin - kImageBase;
    }
    const std::uint32_t o = nt + 24;
    put16(file, o, 0x010B);
    put32(file, o + 4, codeSize);
    put32(file, o + 8, dataSize);
    put32(file, o + 16, layout.entryPoint);
    put32(file, o + 20, codeBase);
    put32(file, o + 24, dataBase);
    put32(file, o + 28, kImageBase);
    put32(file, o + 32, layout.sectionAlignment);
    put32(file, o + 36, layout.fileAlignment);
    put16(file, o + 40, 5);
    put16(file, o + 48, 5);
    put32(file, o + 56, layout.sizeOfImage);
    put32(file, o + 60, layout.headersSize);
    put16(file, o + 68, 3);  // console
    put16(file, o + 70, layout.relocatable ? 0x0040 : 0);
    put32(file, o + 72, 0x200000);  // stack reserved, committed; heap reserved, committed
    put32(file, o + 76, 0x1000);
    put32(file, o + 80, 0x100000);
    put32(file, o + 84, 0x1000);
    put32(file, o + 92, layout.directoryCount);
    for (std::uint32_t i = 0; i < 16 && 96 + 8 * (i + 1) <= layout.optionalHeaderSize; ++i) {
        put32(file, o + 96 + 8 * i, layout.directories[i].rva);
        put32(file, o + 96 + 8 * i + 4, layout.directories[i].size);
    }

    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        const ExeSection& s = layout.sections[i];
        const std::size_t h = o + layout.optionalHeaderSize + 40 * i;
        std::memcpy(&file[h], s.name.c_str(), std::min<std::size_t>(s.name.size(), 8));
        put32(file, h + 8, s.virtualSize);
        put32(file, h + 12, s.begin - kImageBase);
        put32(file, h + 16, s.rawSize);
        put32(file, h + 20, s.rawOffset);
        put32(file, h + 36, s.characteristics);
        if (!s.data.empty()) std::copy(s.data.begin(), s.data.end(), file.begin() + s.rawOffset);
    }
    return file;
}

std::vector<unsigned char> gameExecutable(const GameSetup& setup, const std::vector<unsigned char>& game,
                                          const ExecutableOptions& options) {
    return writeExecutable(gameLayout(setup, game, options));
}

std::vector<unsigned char> manySectionsExecutable(std::uint32_t sections,
                                                  std::uint32_t manifestBytes) {
    std::string manifest =
        "<assembly><trustInfo><security><requestedPrivileges><requestedExecutionLevel "
        "level=\"asInvoker\"/>"
        "</requestedPrivileges></security></trustInfo></assembly>";
    manifest.resize(manifestBytes, ' ');
    ExeLayout layout;
    layout.headersSize = fileAligned(kExeSectionTable + 40 * std::size_t{sections});
    const HostAddress begin =
        kImageBase + (layout.headersSize + kPageSize - 1) / kPageSize * kPageSize;
    for (std::uint32_t i = 1; i < sections; ++i) {
        layout.sections.push_back({".empty", begin, 0, 0, 0, kInitialisedData | kReads, {}});
    }
    std::vector<unsigned char> tree = manifestResource(manifest, begin - kImageBase);
    const std::uint32_t size = static_cast<std::uint32_t>(tree.size());
    layout.directories[kResourceDirectory] = {begin - kImageBase, size};
    layout.sections.push_back({".rsrc", begin, size, layout.headersSize, size,
                               kInitialisedData | kReads, std::move(tree)});
    layout.sizeOfImage = begin - kImageBase + (size + kPageSize - 1) / kPageSize * kPageSize;
    layout.entryPoint = begin - kImageBase;
    return writeExecutable(layout);
}

// C stdio, not iostreams: the substitute host's code must stay small enough for
// its static game region to start below the game's first address.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
