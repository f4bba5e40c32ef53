// menupatch-check reads a game's executable as the loader maps it. Held against
// Wine's loader: every layout is started twice, beside the real DLL and beside
// an empty one. The image the empty run leaves must be the checker's mapping of
// the file, page by page (state, protection, bytes), and the bytes the real DLL
// changed must be the checker's `changes`.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>

#include "checker/read/pe_image.h"
#include "substitute_host/game_executable.h"
#include "tests/support/json_reader.h"
#include "tests/loader/loader_layouts.h"
#include "tests/wine/loader_dump.h"
#include "tests/support/temp_folder.h"
#include "tests/wine/wine_host.h"

namespace {

constexpr HostAddress kImageBase = kLoaderImageBase;
constexpr std::size_t kMismatchesKept = 5;

// Section flags as a linker writes them.
constexpr std::uint32_t kRunRead = 0x60000020;
constexpr std::uint32_t kRunReadWrite = 0xE0000020;
constexpr std::uint32_t kRead = 0x40000040;
constexpr std::uint32_t kReadWrite = 0xC0000040;
constexpr std::uint32_t kRunOnly = 0x20000020;
constexpr std::uint32_t kNoAccess = 0x00000040;
constexpr std::uint32_t kWriteOnly = 0x80000040;
constexpr std::uint32_t kExecutes = 0x20000000;

// What one layout gave the checker and the loader, and where they differ.
struct Comparison {
    int checkerStatus = -1;  // 0 applies, 1 does not, 2 cannot tell
    std::string checkerWhy;
    std::string build;
    ImageDump::Outcome withDll = ImageDump::Outcome::Unreadable;
    ImageDump::Outcome withEmpty = ImageDump::Outcome::Unreadable;
    std::uint32_t exitWithDll = 0;
    bool dllChanged = false;  // the real DLL left a byte that the empty one did not
    bool hidden = false;      // the checker cannot tell from the file what the plug-in would read
    std::vector<std::string> mismatches;

    // Refused where Wine runs it: by a rule of the format that Windows applies
    // and Wine does not (sections in order and back to back, alignments that
    // fit, an image base on 64 KiB, the optional header's fields all there), or
    // where loaders may differ (space after the last section, a section table
    // past SizeOfHeaders).
    bool refusedWhereLoadersPart() const {
        for (const char* words : {"a gap in its memory", "overlaps", "do not fit together", "64 KiB boundary",
                                  "optional header is too small", "depends on the loader"}) {
            if (checkerWhy.find(words) != std::string::npos) return true;
        }
        return false;
    }
    void mismatch(const std::string& what) {
        if (mismatches.size() < kMismatchesKept) mismatches.push_back(what);
    }
};

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::vector<unsigned char> bytesOfHex(const std::string& text) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// What the loader itself writes once the image is mapped: the import address
// table, and the marker the game's entry sets.
bool writtenAtRunTime(const ExeLayout& exe, HostAddress address) {
    const ExeDirectory& table = exe.directories[kImportAddressTable];
    const HostAddress tableAt = kImageBase + table.rva;
    return (address >= tableAt && address < tableAt + table.size) ||
           (address >= kRunnableMarker && address < kRunnableMarker + 8);
}

// The empty run's image against the checker's mapping of the same file.
void compareMapping(const LoaderLayout& layout, const std::vector<unsigned char>& file, const ImageDump& dump,
                    Comparison* result) {
    PeImage image;
    readPeImage(file, &image);
    std::uint64_t at = image.imageBase;
    for (const DumpRegion& region : dump.regions) {
        if (region.base != at) result->mismatch("the loader's regions skip from " + hex(at) + " to " + hex(region.base));
        for (std::uint32_t offset = 0; offset < region.size; offset += kPageSize) {
            const HostAddress page = region.base + offset;
            const HostRegion mapped = imageRegion(image, page);
            if (mapped.committed != region.committed) {
                result->mismatch("page " + hex(page) + ": the loader " + (region.committed ? "commits" : "leaves") +
                                 " it, the checker " + (mapped.committed ? "commits" : "leaves") + " it");
                continue;
            }
            if (!region.committed) continue;
            if (mapped.protection != region.protection) {
                result->mismatch("page " + hex(page) + ": protection " + hex(region.protection) +
                                 " under the loader, " + hex(mapped.protection) + " to the checker");
            }
            unsigned char bytes[kPageSize];
            if (region.bytes.empty() || !readImage(image, page, bytes, kPageSize)) continue;
            for (std::uint32_t i = 0; i < kPageSize; ++i) {
                if (bytes[i] != region.bytes[offset + i] && !writtenAtRunTime(layout.exe(), page + i)) {
                    result->mismatch("byte " + hex(page + i) + ": " + hex(region.bytes[offset + i]) +
                                     " under the loader, " + hex(bytes[i]) + " to the checker");
                    break;
                }
            }
        }
        at = std::uint64_t{region.base} + region.size;
    }
    if (at != std::uint64_t{image.imageBase} + image.mappedSize) {
        result->mismatch("the loader's image ends at " + hex(at) + ", the checker's at " +
                         hex(std::uint64_t{image.imageBase} + image.mappedSize));
    }
}

// The bytes the real DLL left that the empty one did not, and their values.
std::map<HostAddress, int> changedByDll(const ImageDump& withDll, const ImageDump& withEmpty, Comparison* result) {
    const std::vector<int> real = withDll.bytes();
    const std::vector<int> empty = withEmpty.bytes();
    if (real.size() != empty.size()) result->mismatch("the two runs' images differ in size");
    std::map<HostAddress, int> changed;
    for (std::size_t i = 0; i < real.size() && i < empty.size(); ++i) {
        if (real[i] != empty[i]) changed[kImageBase + static_cast<HostAddress>(i)] = real[i];
    }
    return changed;
}

// What the real DLL changed against the checker's changes, byte for byte.
void compareChanges(const JsonValue& report, const std::map<HostAddress, int>& changed, Comparison* result) {
    std::map<HostAddress, int> expected;
    for (const JsonValue& change : report["changes"].items) {
        const HostAddress address = static_cast<HostAddress>(std::stoul(change["address"].text));
        const std::vector<unsigned char> before = bytesOfHex(change["before"].text);
        const std::vector<unsigned char> after = bytesOfHex(change["after"].text);
        for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
            if (before[i] != after[i]) expected[address + static_cast<HostAddress>(i)] = after[i];
        }
    }
    for (const auto& [address, value] : changed) {
        const auto found = expected.find(address);
        if (found == expected.end()) {
            result->mismatch("the DLL changed " + hex(address) + " to " + hex(value) + "; the checker has no change there");
        } else if (found->second != value) {
            result->mismatch("the DLL wrote " + hex(value) + " at " + hex(address) + ", the checker " + hex(found->second));
        }
    }
    for (const auto& [address, value] : expected) {
        if (changed.count(address) == 0) {
            result->mismatch("the checker changes " + hex(address) + " to " + hex(value) + "; the DLL left it");
        }
    }
}

// What a named layout says stands at a few addresses, against the empty run's image.
void compareProbes(const std::vector<MappedProbe>& probes, const ImageDump& dump, Comparison* result) {
    for (const MappedProbe& probe : probes) {
        const auto region = std::find_if(dump.regions.begin(), dump.regions.end(), [&](const DumpRegion& r) {
            return probe.address >= r.base && probe.address - r.base < r.size;
        });
        // Outside the image the dump has nothing: not committed, as far as the image goes.
        const bool committed = region != dump.regions.end() && region->committed;
        if (committed != (probe.protection != 0) || (committed && region->protection != probe.protection)) {
            result->mismatch("at " + hex(probe.address) + " the loader's protection is " +
                             (committed ? hex(region->protection) : std::string("none (not committed)")) +
                             ", the layout says " + hex(probe.protection));
            continue;
        }
        for (std::size_t i = 0; committed && i < probe.bytes.size(); ++i) {
            const std::uint64_t at = std::uint64_t{probe.address} + i - region->base;
            if (at < region->bytes.size() && region->bytes[at] != probe.bytes[i]) {
                result->mismatch("byte " + hex(probe.address + i) + ": " + hex(region->bytes[at]) +
                                 " under the loader, the layout says " + hex(probe.bytes[i]));
            }
        }
    }
}

// Every layout in one run of the loader: twice each, then compared. A named
// layout's probes are held against the loader's image too.
std::vector<Comparison> compareWithLoader(const std::vector<LoaderLayout>& layouts,
                                          const std::vector<MappedProbe>& probes = {}) {
    const char* named = std::getenv("MENUPATCH_E2E_DLL");
    const std::string dll = named != nullptr ? named : "";
    if (dll.empty()) {
        std::vector<Comparison> results(layouts.size());
        for (Comparison& result : results) result.mismatch("MENUPATCH_E2E_DLL names no DLL to load");
        return results;
    }
    TempFolder temp;
    std::vector<GameToDump> games;
    std::vector<std::vector<unsigned char>> files;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        files.push_back(fileOf(layouts[i]));
        for (const char* kind : {"dll", "empty"}) {
            const std::string folder = temp.make(std::to_string(i) + "/" + kind);
            writeFile(folder + "/game.exe", files.back());
            std::filesystem::create_symlink(kind == std::string("dll") ? dll : MENUPATCH_EMPTY_DLL,
                                            folder + "/menupatch.dll");
            writeSettingsFile(folder, 2048, {layouts[i].settingsFlag});
            games.push_back({folder + "/game.exe", folder + ".dump"});
        }
    }
    const bool dumped = dumpGames(games, temp.path + "/games.txt");

    std::vector<Comparison> results(layouts.size());
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        Comparison& result = results[i];
        if (!dumped) result.mismatch("image_dump.exe failed");
        const ImageDump withDll = readImageDump(games[2 * i].dump);
        const ImageDump withEmpty = readImageDump(games[2 * i + 1].dump);
        result.withDll = withDll.outcome;
        result.withEmpty = withEmpty.outcome;
        result.exitWithDll = withDll.code;
        const bool bothRan = withDll.outcome == ImageDump::Outcome::Loaded &&
                             withEmpty.outcome == ImageDump::Outcome::Loaded;
        std::map<HostAddress, int> changed;
        if (bothRan) changed = changedByDll(withDll, withEmpty, &result);
        result.dllChanged = !changed.empty();

        const ProgramRun check = runLinuxChecker({"--json", games[2 * i].executable});
        result.checkerStatus = check.exitCode;
        result.checkerWhy = check.err;
        if (check.exitCode == 2 && check.out.empty()) {
            // Refused: the loader must refuse it too, but where Windows and Wine part.
            if (!result.refusedWhereLoadersPart() && withEmpty.outcome == ImageDump::Outcome::Loaded) {
                result.mismatch("the checker cannot tell (" + check.err + "), the loader runs it");
            }
            continue;
        }
        JsonValue report;
        if (!parseJson(check.out, &report)) {
            result.mismatch("the checker's JSON does not parse: " + check.out + check.err);
            continue;
        }
        result.build = report["build"].text;
        // The game's own code cannot run, so the DLL never loads: that the
        // loader started it, and the checker read it, is all there is to compare.
        const bool ended = withEmpty.outcome == ImageDump::Outcome::Exited && withDll.outcome == ImageDump::Outcome::Exited;
        if (!bothRan && layouts[i].gameCannotRun && ended) continue;
        if (!bothRan) {
            result.mismatch(std::string("the checker reads it, the loader: ") + outcomeName(withEmpty.outcome) +
                            " beside the empty DLL, " + outcomeName(withDll.outcome) + " (" +
                            hex(withDll.code) + ") beside the real one");
            continue;
        }
        compareMapping(layouts[i], files[i], withEmpty, &result);
        compareProbes(probes, withEmpty, &result);
        // Bytes the plug-in reads that the file leaves to run time, or holds
        // packed: the checker says so and no more, whatever the DLL did.
        result.hidden = report["check"].text == "hidden";
        if (result.hidden) {
            for (const JsonValue& value : report["hidden"].items) {
                result.checkerWhy += "\"held\": \"" + value["held"].text + "\" ";
            }
            continue;
        }
        compareChanges(report, changed, &result);
        if (result.dllChanged != (check.exitCode == 0)) {
            result.mismatch(std::string("the checker says it ") + (check.exitCode == 0 ? "applies" : "does not apply") +
                            ", the DLL " + (result.dllChanged ? "changed the game" : "changed nothing"));
        }
    }
    return results;
}

std::string mismatchesOf(const Comparison& result) {
    std::string text;
    for (const std::string& line : result.mismatches) text += "\n  " + line;
    return text;
}

class LoaderComparison : public testing::TestWithParam<std::size_t> {};

TEST_P(LoaderComparison, CheckerMapsAsTheLoaderDoes) {
    const NamedLayout& c = namedLayouts()[GetParam()];
    const Comparison result = compareWithLoader({c.layout}, c.probes)[0];
    EXPECT_TRUE(result.mismatches.empty()) << c.layout.name << ":" << mismatchesOf(result);
    EXPECT_EQ(result.checkerStatus, c.checkerStatus) << result.checkerWhy;
    if (c.checkerStatus == 2) {
        EXPECT_NE(result.checkerWhy.find(c.refusal), std::string::npos) << result.checkerWhy;
    } else {
        EXPECT_EQ(result.build, c.build);
    }
    if (c.underWine != ImageDump::Outcome::Unreadable) {
        EXPECT_EQ(result.withDll, c.underWine) << outcomeName(result.withDll) << ", " << hex(result.exitWithDll);
    }
    std::cout << "loader: " << c.layout.name << ": the checker " << result.checkerStatus << " (build "
              << (result.build.empty() ? "-" : result.build) << "), Wine " << outcomeName(result.withDll)
              << (result.dllChanged ? ", the DLL changed the game" : "") << "\n";
}

INSTANTIATE_TEST_SUITE_P(Named, LoaderComparison, testing::Range<std::size_t>(0, namedLayouts().size()),
                         [](const auto& info) { return namedLayouts()[info.param].layout.name; });

// Random layouts: sections cut anywhere with any flags, raw pointers and sizes
// on and off sectors or missing, holes, files cut short, flat images, and the
// page and flag addresses anywhere.

bool chance(std::mt19937& rng, int percent) { return static_cast<int>(rng() % 100) < percent; }

HostAddress anyPlace(std::mt19937& rng) {
    switch (rng() % 6) {
        case 0: return pageBaseOf(kBuilds[rng() % 3]);
        case 1: return kDataBase + rng() % kDataSize;
        case 2: return kCodeBase + rng() % kCodeSize;
        case 3: return kProbePage + rng() % kPageSize;
        case 4: return 0x300000 + rng() % 0x1000;  // below the image: nothing there
        default: return kGameEnd - rng() % 0x400;  // rows run past the image
    }
}

GameSetup randomSetup(std::mt19937& rng) {
    GameSetup setup;
    setup.build = kBuilds[rng() % 3];
    const std::uint32_t signatures = rng() % 4;
    setup.signatureAtA = signatures & 1;
    setup.signatureAtB = signatures & 2;
    setup.overridePageBase = chance(rng, 25);
    setup.pageBase = anyPlace(rng);
    setup.overrideFlagAddress = chance(rng, 25);
    setup.flagAddress = anyPlace(rng);
    return setup;
}

constexpr std::uint32_t kAnyFlags[] = {kRunRead, kRunReadWrite, kRead, kReadWrite, kRunOnly, kNoAccess, kWriteOnly};

// The game's range cut at random pages into at most `most` sections.
std::vector<HostAddress> randomCuts(std::mt19937& rng, std::size_t most) {
    std::vector<HostAddress> cuts = {kGameBegin, kGameEnd};
    if (chance(rng, 50)) cuts.insert(cuts.end(), {kCodeBase + kCodeSize, kProbePage});  // the game's own
    const std::size_t extra = rng() % 6;
    for (std::size_t i = 0; i < extra; ++i) {
        cuts.push_back(kGameBegin + (1 + rng() % ((kGameEnd - kGameBegin) / kPageSize - 1)) * kPageSize);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    if (cuts.size() > most + 1) cuts.resize(most + 1), cuts.back() = kGameEnd;
    return cuts;
}

// Header fields as another linker or a wrapper may write them, in a third of
// the layouts: the PE header elsewhere, fewer data directories (the imports
// always, which the game needs), an optional header only as long as they are,
// SizeOfImage short of its last page, SizeOfHeaders anywhere from the section
// table's end to the first section, the large-address-aware flag.
void randomHeaders(std::mt19937& rng, LoaderLayout* layout) {
    if (!chance(rng, 33)) return;
    layout->name += " (headers varied)";
    ExeLayout& exe = layout->exe();
    constexpr std::uint32_t kPeHeaders[] = {0x40, 0x42, kExeNtHeader};
    exe.ntHeader = kPeHeaders[rng() % std::size(kPeHeaders)];
    exe.directoryCount = 2 + rng() % 15;
    if (chance(rng, 50)) exe.optionalHeaderSize = static_cast<std::uint16_t>(96 + 8 * exe.directoryCount);
    const std::uint32_t end = exe.sizeOfImage;
    if (chance(rng, 50)) exe.sizeOfImage = end - rng() % kPageSize;  // rounds up to the same end
    const std::uint32_t tableEnd =
        exe.ntHeader + 24 + exe.optionalHeaderSize + 40 * static_cast<std::uint32_t>(exe.sections.size());
    if (chance(rng, 50)) exe.headersSize = tableEnd + rng() % (kPageSize - tableEnd + 1);
    if (chance(rng, 30)) layout->fields.push_back({22, 2, 0x0123});  // executable, 32-bit, large-address-aware
}

LoaderLayout randomLayout(std::mt19937& rng, std::size_t index) {
    const GameSetup setup = randomSetup(rng);
    LoaderLayout layout = runnable("random " + std::to_string(index), setup);
    ExeLayout& exe = layout.exe();
    const std::vector<unsigned char> memory = gameMemoryOf(exe);
    const bool gameFlags = chance(rng, 50);
    exe.sections.resize(2);  // the entry code and the imports stay as they are
    const std::vector<HostAddress> cuts = randomCuts(rng, kExeMostSections - exe.sections.size());
    const std::uint32_t importsEnd =
        exe.sections[1].rawOffset + static_cast<std::uint32_t>(exe.sections[1].data.size());
    std::uint32_t fileEnd = importsEnd;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        ExeSection section;
        section.name = ".s" + std::to_string(i);
        section.begin = cuts[i];
        section.virtualSize = cuts[i + 1] - cuts[i];
        const std::uint32_t protection = pageProtectionOf(setup, cuts[i]);
        section.characteristics = !gameFlags ? kAnyFlags[rng() % std::size(kAnyFlags)]
                                  : protection == PAGE_EXECUTE_READ ? kRunRead
                                                                    : kReadWrite;
        // As a linker writes them: code whole, data without its trailing zeros.
        const unsigned char* first = &memory[cuts[i] - kGameBegin];
        std::size_t size = section.virtualSize;
        while (!(section.characteristics & kExecutes) && size > 0 && first[size - 1] == 0) --size;
        section.data.assign(first, first + size);
        section.rawOffset = size == 0 ? 0 : fileEnd;
        section.rawSize = roundUp(size, kSector);
        switch (size == 0 ? 0 : rng() % 12) {
            case 1: section.rawOffset += 1 + rng() % (kSector - 1); break;          // off its sector
            case 2: section.rawSize = static_cast<std::uint32_t>(size); break;       // to its last byte
            case 3: section.rawSize = 1 + rng() % static_cast<std::uint32_t>(size); break;  // short
            case 4: section.rawOffset = 0; section.data.clear(); break;           // no data: zeros
            case 5: section.rawSize = section.virtualSize + rng() % 0x3000; break;  // more than it maps
            default: break;
        }
        // Within its last page, or a page short: a hole before the next one.
        if (chance(rng, 10)) section.virtualSize -= rng() % kPageSize;
        if (chance(rng, 3) && section.virtualSize > kPageSize) section.virtualSize -= kPageSize;
        if (!section.data.empty()) fileEnd = roundUp(section.rawOffset + section.data.size(), kSector);
        exe.sections.push_back(std::move(section));
    }
    if (chance(rng, 10)) {
        flatten(exe);
    } else if (chance(rng, 20)) {
        exe.fileAlignment = chance(rng, 50) ? kPageSize : kSector / 2;  // as large as a section's, or smaller than a sector
    }
    randomHeaders(rng, &layout);
    // Most files end with their last data; some are padded, some cut short.
    if (chance(rng, 70)) layout.sizeChange = 0x4000;
    // Not into the entry code's imports: a game without them cannot run at all.
    if (fileEnd > importsEnd + 2 * kSector && chance(rng, 10)) {
        layout.sizeChange = -static_cast<long>(rng() % (2 * kSector));
    }
    constexpr unsigned char kFlags[] = {0x00, 0x01, 0x73, 0x42};
    layout.settingsFlag = kFlags[rng() % std::size(kFlags)];
    return layout;
}

// In shards of one sequence of layouts, so that CTest spreads them over its
// jobs; each shard makes the layouts before its own to reach the same ones.
constexpr std::size_t kRandomLayouts = 200;
constexpr std::size_t kRandomShards = 4;

class RandomLoaderLayouts : public testing::TestWithParam<std::size_t> {};

TEST_P(RandomLoaderLayouts, CheckerMapsAsTheLoaderDoes) {
    constexpr std::size_t kPerShard = kRandomLayouts / kRandomShards;
    constexpr std::size_t kBatch = 10;
    const std::size_t first = GetParam() * kPerShard;
    const char* seedText = std::getenv("MENUPATCH_RANDOM_SEED");
    const unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::stoul(seedText)) : 20261210u;
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < first; ++i) randomLayout(rng, i);
    const auto start = std::chrono::steady_clock::now();

    std::size_t compared = 0;
    std::size_t applied = 0;
    std::size_t refused = 0;
    std::size_t hidden = 0;
    std::size_t parted = 0;
    std::size_t partedRunByWine = 0;
    std::size_t mismatched = 0;
    std::size_t headersVaried = 0;
    // Every layout, however long the machine takes: its speed is no reason to compare fewer.
    while (compared < kPerShard) {
        std::vector<LoaderLayout> layouts;
        for (std::size_t i = 0; i < kBatch && compared + i < kPerShard; ++i) {
            layouts.push_back(randomLayout(rng, first + compared + i));
        }
        const std::vector<Comparison> results = compareWithLoader(layouts);
        for (std::size_t i = 0; i < results.size(); ++i) {
            const Comparison& result = results[i];
            applied += result.checkerStatus == 0;
            refused += result.checkerStatus == 2 && !result.hidden;
            hidden += result.hidden;
            headersVaried += layouts[i].name.find("headers varied") != std::string::npos;
            parted += result.refusedWhereLoadersPart();
            partedRunByWine += result.refusedWhereLoadersPart() && result.withDll == ImageDump::Outcome::Loaded;
            if (!result.mismatches.empty()) {
                ++mismatched;
                ADD_FAILURE() << layouts[i].name << " of seed " << seed << ":" << mismatchesOf(result);
            }
        }
        compared += layouts.size();
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    std::cout << "loader layouts: seed " << seed << ", " << first << " to " << first + compared - 1 << ": " << compared
              << " compared (" << headersVaried << " with header fields varied), " << applied << " applied, " << refused
              << " refused by the checker (" << parted << " by a rule Wine does not apply, or where loaders differ, "
              << partedRunByWine << " of them run by Wine), "
              << hidden << " it cannot tell from the file (what the plug-in reads is left to run time), " << mismatched
              << " mismatched, " << seconds.count() << " s\n";
}

INSTANTIATE_TEST_SUITE_P(Shards, RandomLoaderLayouts, testing::Range<std::size_t>(0, kRandomShards));

}  // namespace
