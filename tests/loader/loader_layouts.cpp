#include "tests/loader/loader_layouts.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "text/text.h"

namespace {

// The probe page's data is the last in the file; where a layout ends it in the
// signature's sector (endDataAtSignature), these are its edges.
constexpr std::uint32_t kSignatureEnd = kProbeA % kPageSize + sizeof kSignature;
constexpr std::uint32_t kSignatureSectorEnd = (kSignatureEnd + kSector - 1) / kSector * kSector;
constexpr std::uint32_t kHeadersEnd = kLoaderImageBase + kExeHeadersSize;
constexpr HostAddress kEntryCode = kLoaderImageBase + 0x1000;

const std::vector<unsigned char> kSignatureBytes(std::begin(kSignature), std::end(kSignature));
const std::vector<unsigned char> kZeros4 = {0, 0, 0, 0};

// The game's own code at an address, where no signature stands.
std::vector<unsigned char> codeAt(HostAddress address) {
    GameSetup setup;
    setup.signatureAtA = false;
    const std::vector<unsigned char> game = gameBytesOf(setup);
    return {game.begin() + (address - kGameBegin), game.begin() + (address - kGameBegin) + 4};
}
constexpr unsigned char kPushOpcode = 0x68;  // the entry code's first instruction

ExeSection& sectionHolding(ExeLayout& exe, HostAddress address) {
    for (ExeSection& section : exe.sections) {
        if (address >= section.begin && address < section.begin + section.virtualSize) return section;
    }
    return exe.sections.back();
}

GameSetup onlyB() {
    GameSetup setup;
    setupOfBuild("B", &setup);
    return setup;
}

GameSetup noBuild() {
    GameSetup setup;
    setupOfBuild("C", &setup);
    return setup;
}

template <typename Change>
GameSetup withSetup(Change change) {
    GameSetup setup;
    change(setup);
    return setup;
}

// The probe page's data only up to the sector that holds the signature, as a
// linker leaves zeros at the end of a section to the loader.
void endDataAtSignature(LoaderLayout& layout) {
    ExeSection& probe = sectionHolding(layout.exe(), kProbeA);
    probe.data.resize(kSignatureSectorEnd);
    probe.rawSize = kSignatureSectorEnd;
}

template <typename Change>
LoaderLayout changed(LoaderLayout layout, Change change) {
    layout.changes.push_back(change);
    return layout;
}

// What every page-aligned runnable game maps around its own parts: the headers
// read-only up to their size and zeros after, the entry code, and nothing
// committed before the image or after it.
std::vector<MappedProbe> withImageEdges(std::vector<MappedProbe> probes) {
    probes.insert(probes.end(), {{kLoaderImageBase, {'M', 'Z'}, PAGE_READONLY},
                                 {kHeadersEnd - 1, {0x00, 0x00}, PAGE_READONLY},
                                 {kEntryCode, {kPushOpcode}, PAGE_EXECUTE_READ},
                                 {kLoaderImageBase - kPageSize, {}, 0},
                                 {kGameEnd, {}, 0}});
    return probes;
}

// A runnable game with header fields set as given.
LoaderLayout withFields(const std::string& name, std::vector<LoaderLayout::Field> fields,
                        const std::function<void(ExeLayout&)>& change = {}) {
    LoaderLayout layout = runnable(name);
    layout.fields = std::move(fields);
    if (change) layout.changes.push_back([change](LoaderLayout& l) { change(l.exe()); });
    return layout;
}

// The game's own code cannot run (no imports, no entry point), though the loader maps it.
LoaderLayout cannotRun(LoaderLayout layout) {
    layout.gameCannotRun = true;
    return layout;
}

// The header rules the reader applies, each at its edge and a step past it on
// either side, written by the test's writer; Wine's loader answers each too.
// Where the format (and Windows) has a rule that Wine does not apply, the
// checker follows the format, and Wine's answer stands beside it.
void addHeaderRules(std::vector<NamedLayout>& cases) {
    using Outcome = ImageDump::Outcome;
    const auto add = [&](LoaderLayout layout, int status, const char* refusal, Outcome wine) {
        cases.push_back({std::move(layout), status, status == 2 ? "" : "A", refusal, wine, {}});
    };
    constexpr std::uint32_t kImageSize = kGameEnd - kLoaderImageBase;
    constexpr std::uint32_t kTableEnd = kExeSectionTable + 5 * 40;  // the runnable game's five sections
    constexpr std::uint32_t kNtToTableEnd = kTableEnd - kExeNtHeader;
    const auto nt = [](std::uint32_t at) { return [at](ExeLayout& e) { e.ntHeader = at; }; };
    const auto optional = [](std::uint16_t size) {
        return [size](ExeLayout& e) {
            e.optionalHeaderSize = size;
            e.directoryCount = size < 96 ? 0 : (size - 96u) / 8;
        };
    };
    const auto directories = [](std::uint32_t count) { return [count](ExeLayout& e) { e.directoryCount = count; }; };

    // The PE header: anywhere after the DOS header, aligned or not, as long as
    // the section table after it lies inside SizeOfHeaders.
    add(withFields("Lfanew_AfterTheDosHeader", {}, nt(0x40)), 0, "", Outcome::Loaded);
    add(withFields("Lfanew_Unaligned", {}, nt(0x42)), 0, "", Outcome::Loaded);
    add(withFields("Lfanew_TableEndsWithTheHeaders", {}, nt(kExeHeadersSize - kNtToTableEnd)), 0, "", Outcome::Loaded);
    add(withFields("Lfanew_TableOneByteOverTheHeaders", {}, nt(kExeHeadersSize - kNtToTableEnd + 1)), 2,
        "depends on the loader", Outcome::Loaded);
    // Without a PE header Wine takes the file for a DOS program and starts that, which ends at once.
    add(withFields("Lfanew_PastTheFile", {{kLfanewField, 4, 0x7FFFFFF0, true}}), 2, "before its PE header",
        Outcome::Exited);
    add(withFields("Machine_0x14B", {{kMachineField, 2, 0x14B}}), 2, "another processor", Outcome::NotStarted);
    add(withFields("Machine_0x14D", {{kMachineField, 2, 0x14D}}), 2, "another processor", Outcome::NotStarted);
    // One section less leaves space after the last; one more is an empty entry at address 0.
    add(withFields("SectionCount_OneLess", {{kSectionCountField, 2, 4}}), 2, "depends on the loader", Outcome::Loaded);
    add(withFields("SectionCount_OneMore", {{kSectionCountField, 2, 6}}), 2, "section 6 () overlaps section 5",
        Outcome::Loaded);
    // The optional header's 96 bytes of fields, and the directories it has room for.
    add(cannotRun(withFields("OptionalHeader_95", {}, optional(95))), 2, "too small (95 bytes)", Outcome::Exited);
    add(cannotRun(withFields("OptionalHeader_96", {}, optional(96))), 0, "", Outcome::Exited);
    add(cannotRun(withFields("OptionalHeader_97", {}, optional(97))), 0, "", Outcome::Exited);
    add(withFields("OptionalHeader_EndsWithTheImports", {}, optional(96 + 2 * 8)), 0, "", Outcome::Loaded);
    add(withFields("Magic_0x10A", {{kMagicField, 2, 0x10A}}), 2, "not PE32 (magic 0x10A)", Outcome::NotStarted);
    add(withFields("Magic_0x10C", {{kMagicField, 2, 0x10C}}), 2, "not PE32 (magic 0x10C)", Outcome::NotStarted);
    // Alignments: powers of two, the file's no larger than the sections'.
    add(withFields("FileAlignment_0x100", {}, [](ExeLayout& e) { e.fileAlignment = 0x100; }), 0, "", Outcome::Loaded);
    add(withFields("FileAlignment_0x1FF", {}, [](ExeLayout& e) { e.fileAlignment = 0x1FF; }), 2,
        "file alignment (0x1FF) do not fit together", Outcome::Loaded);
    add(withFields("FileAlignment_0x201", {}, [](ExeLayout& e) { e.fileAlignment = 0x201; }), 2,
        "file alignment (0x201) do not fit together", Outcome::Loaded);
    add(withFields("FileAlignment_AsSectionAlignment", {}, [](ExeLayout& e) { e.fileAlignment = 0x1000; }), 0, "",
        Outcome::Loaded);
    add(withFields("FileAlignment_OverSectionAlignment", {}, [](ExeLayout& e) { e.fileAlignment = 0x2000; }), 2,
        "file alignment (0x2000) do not fit together", Outcome::Loaded);
    add(withFields("SectionAlignment_0x800_FileAlignment_0x400", {},
                   [](ExeLayout& e) {
                       flatten(e, 0x800);
                       e.fileAlignment = 0x400;
                   }),
        2, "below a page but differs", Outcome::NotStarted);
    add(withFields("SectionAlignment_0xFFF", {}, [](ExeLayout& e) { e.sectionAlignment = 0xFFF; }), 2,
        "section alignment (0xFFF)", Outcome::NotStarted);
    add(withFields("SectionAlignment_0x1001", {}, [](ExeLayout& e) { e.sectionAlignment = 0x1001; }), 2,
        "section alignment (0x1001)", Outcome::NotStarted);
    // The image base on 64 KiB; Wine maps one that is not, where the game's
    // own addresses then are wrong.
    add(withFields("ImageBase_0x3FFFFF", {{kImageBaseField, 4, 0x3FFFFF}}), 2, "not on a 64 KiB boundary",
        Outcome::NotStarted);
    add(cannotRun(withFields("ImageBase_0x401000", {{kImageBaseField, 4, 0x401000}})), 2, "not on a 64 KiB boundary",
        Outcome::Exited);
    // SizeOfImage, rounded up to a page: to the last section's end, and past it.
    add(withFields("ImageSize_OneByteShort", {{kImageSizeField, 4, kImageSize - 1}}), 0, "", Outcome::Loaded);
    add(withFields("ImageSize_OneByteOver", {{kImageSizeField, 4, kImageSize + 1}}), 2, "depends on the loader",
        Outcome::Loaded);
    add(withFields("ImageSize_ShortOfTheLastSection", {{kImageSizeField, 4, kImageSize - kPageSize}}), 2,
        "runs past the image's size", Outcome::NotStarted);
    // SizeOfHeaders: covering the section table, and mapped up to the first section.
    add(withFields("HeadersLargerThanTheImage", {{kImageSizeField, 4, kPageSize}, {kHeadersSizeField, 4, kPageSize + 1}}),
        2, "headers are larger than its image", Outcome::NotStarted);
    add(withFields("HeadersSize_TableEnd", {{kHeadersSizeField, 4, kTableEnd}}), 0, "", Outcome::Loaded);
    add(withFields("HeadersSize_OneShortOfTheTable", {{kHeadersSizeField, 4, kTableEnd - 1}}), 2,
        "depends on the loader", Outcome::Loaded);
    add(withFields("HeadersSize_Page", {{kHeadersSizeField, 4, kPageSize}}), 0, "", Outcome::Loaded);
    add(withFields("HeadersSize_PagePlusOne", {{kHeadersSizeField, 4, kPageSize + 1}}), 2,
        "section 1 (.text) overlaps the headers", Outcome::Loaded);
    // NumberOfRvaAndSizes: the imports are the game's own need; the checker
    // reads the resources and the relocations only where the count has them.
    add(cannotRun(withFields("Directories_1", {}, directories(1))), 0, "", Outcome::Exited);
    add(withFields("Directories_2", {}, directories(2)), 0, "", Outcome::Loaded);
    // The entry point is the game's business: the loader starts the game wherever it lies.
    add(cannotRun(withFields("EntryPoint_Zero", {{kEntryPointField, 4, 0}})), 0, "", Outcome::Exited);
    add(cannotRun(withFields("EntryPoint_LastByte", {{kEntryPointField, 4, kImageSize - 1}})), 0, "", Outcome::Exited);
    add(cannotRun(withFields("EntryPoint_PastTheImage", {{kEntryPointField, 4, kImageSize}})), 0, "", Outcome::Exited);
}

std::vector<NamedLayout> makeNamedLayouts() {
    using Outcome = ImageDump::Outcome;
    std::vector<NamedLayout> cases;
    cases.push_back({runnable("BuildA"), 0, "A", "", Outcome::Loaded,
                     withImageEdges({{kProbeA, kSignatureBytes, PAGE_EXECUTE_READ},
                                     {kCodeBase, {}, PAGE_EXECUTE_READ},
                                     {pageBaseOf(kA), {kPageFiller}, PAGE_WRITECOPY},
                                     {flagAddressOf(kA), {kGameFlag}, PAGE_WRITECOPY}})});
    cases.push_back({runnable("BuildB", onlyB()), 0, "B", "", Outcome::Loaded,
                     {{kProbeA, codeAt(kProbeA), PAGE_EXECUTE_READ}, {kProbeB, kSignatureBytes, PAGE_EXECUTE_READ}}});
    cases.push_back({runnable("BuildC", noBuild()), 0, "C", "", Outcome::Loaded,
                     {{kProbeA, codeAt(kProbeA), PAGE_EXECUTE_READ}}});
    cases.push_back({runnable("RoutinesNotExecutable", withSetup([](GameSetup& s) { s.routinesNotExecutable = true; })),
                     1, "A", "", Outcome::Loaded, {{kA.enterSettingsDirRoutine, {}, PAGE_WRITECOPY}}});
    cases.push_back({runnable("FlagPageReadOnly", withSetup([](GameSetup& s) { s.readOnlyPage = flagAddressOf(kA); })),
                     1, "A", "", Outcome::Loaded, {{flagAddressOf(kA), {kGameFlag}, PAGE_READONLY}}});
    cases.push_back({runnable("PageBaseUnmapped", withSetup([](GameSetup& s) {
                                  s.overridePageBase = true;
                                  s.pageBase = 0x300000;
                              })),
                     1, "A", "", Outcome::Loaded, {{0x300000, {}, 0}}});
    // Unreadable under the loader, so no signature: build C's places.
    cases.push_back({runnable("ProbeNoAccess", withSetup([](GameSetup& s) { s.probeNoAccess = true; })), 0, "C", "",
                     Outcome::Loaded, {{kProbeA, {}, PAGE_NOACCESS}}});

    // A page of the code left out, the one with build A's routines: Wine fills
    // it with zeros that run, and the DLL calls into them. They run on into the
    // game's data, which Wine lets run (the game is not marked NX-compatible);
    // under QEMU's user mode the fault carries no trap number, Wine takes it for
    // an illegal instruction, and the DLL's load fails. The gap is refused either way.
    cases.push_back({changed(runnable("GapInCode"),
                             [](LoaderLayout& l) {
                                 std::vector<ExeSection>& sections = l.exe().sections;
                                 const auto code = std::find_if(sections.begin(), sections.end(),
                                                                [](const ExeSection& s) { return s.begin == kCodeBase; });
                                 ExeSection after = *code;
                                 const HostAddress hole = kA.enterSettingsDirRoutine & ~(kPageSize - 1);
                                 code->virtualSize = hole - code->begin;
                                 after.begin = hole + kPageSize;
                                 after.virtualSize = kCodeBase + kCodeSize - after.begin;
                                 after.data.assign(code->data.begin() + (after.begin - kCodeBase), code->data.end());
                                 after.rawOffset += after.begin - kCodeBase;
                                 after.rawSize = static_cast<std::uint32_t>(after.data.size());
                                 code->data.resize(code->virtualSize);
                                 code->rawSize = code->virtualSize;
                                 sections.insert(code + 1, after);
                             }),
                     2, "", "a gap in its memory from 0x48E000 to 0x48F000", Outcome::Unreadable, {}});
    // The game's data stops a page short of the probe page: the DLL applies under Wine.
    cases.push_back({changed(runnable("GapShortSection"),
                             [](LoaderLayout& l) { sectionHolding(l.exe(), kProbePage - 1).virtualSize -= kPageSize; }),
                     2, "", "a gap in its memory from 0x666000 to 0x667000", Outcome::Unreadable, {}});

    // A page after the last section: Wine commits it, Windows is not known to.
    cases.push_back({changed(runnable("SpaceAfterLastSection"), [](LoaderLayout& l) { l.exe().sizeOfImage += kPageSize; }),
                     2, "", "its sections end at 0x668000, short of the image's end (0x669000)", Outcome::Unreadable,
                     {}});

    // The probe page's data one sector in and 0x100 bytes further: the loader
    // reads from the sector's start, so the signature lands 0x100 too far.
    cases.push_back({changed(runnable("RawPointerOffSector"),
                             [](LoaderLayout& l) { sectionHolding(l.exe(), kProbeA).rawOffset += 0x100; }),
                     0, "C", "", Outcome::Loaded,
                     {{kProbeA, codeAt(kProbeA - 0x100), PAGE_EXECUTE_READ},
                      {kProbeA + 0x100, kSignatureBytes, PAGE_EXECUTE_READ}}});
    // SizeOfRawData stops just short of the signature; the loader reads to the
    // sector's end (a mark in its last byte) and not into the next sector,
    // which the file fills.
    cases.push_back({changed(runnable("RawSizeOffSector"),
                             [](LoaderLayout& l) {
                                 ExeSection& probe = sectionHolding(l.exe(), kProbeA);
                                 probe.rawSize = kProbeA % kPageSize - 4;
                                 probe.data[kSignatureSectorEnd - 1] = 0x77;
                                 probe.data.resize(kSignatureSectorEnd + kSector, 0xEE);
                             }),
                     0, "A", "", Outcome::Loaded,
                     {{kProbeA, kSignatureBytes, PAGE_EXECUTE_READ},
                      {kProbePage + kSignatureSectorEnd - 1, {0x77, 0x00}, PAGE_EXECUTE_READ}}});
    // A raw size past what the section maps: it reads only what it maps, which
    // the file holds (padded to the page's end); the rest is not asked for.
    cases.push_back({changed(runnable("RawSizePastItsSection"),
                             [](LoaderLayout& l) {
                                 endDataAtSignature(l);
                                 sectionHolding(l.exe(), kProbeA).rawSize = 0x10000;
                                 l.sizeChange = kPageSize - kSignatureSectorEnd;
                             }),
                     0, "A", "", Outcome::Loaded, {{kProbeA, kSignatureBytes, PAGE_EXECUTE_READ}}});
    // No file data for the probe page, whatever its size says; the file's own
    // bytes at offset 0 + the probe's would have held a signature. Zeros under
    // the loader, but a section with no data is what a packer fills at start:
    // the checker cannot tell.
    cases.push_back({changed(runnable("RawPointerZero"),
                             [](LoaderLayout& l) {
                                 ExeSection& probe = sectionHolding(l.exe(), kProbeA);
                                 probe.rawOffset = 0;
                                 probe.data.clear();
                                 ExeSection& holder = l.exe().sections[2];
                                 const std::uint32_t at = kProbeA % kPageSize - holder.rawOffset;
                                 std::copy(std::begin(kSignature), std::end(kSignature), holder.data.begin() + at);
                             }),
                     2, "", "\"held\": \"no_raw_data\"", Outcome::Loaded,
                     {{kProbePage, {0x00}, PAGE_EXECUTE_READ}, {kProbeA, kZeros4, PAGE_EXECUTE_READ}}});
    // The file as the image, every page writable code; the probe page's
    // SizeOfRawData stops short of the signature, which the file holds all the
    // same. Below a page any alignment maps so, 0x400 as 0x200.
    for (const std::uint32_t alignment : {kSector, 2 * kSector}) {
        cases.push_back({changed(runnable(alignment == kSector ? "LowAlignmentFlat" : "LowAlignment0x400Flat"),
                                 [alignment](LoaderLayout& l) {
                                     flatten(l.exe(), alignment);
                                     sectionHolding(l.exe(), kProbeA).rawSize = alignment;
                                 }),
                         0, "A", "", Outcome::Loaded,
                         {{kLoaderImageBase, {'M', 'Z'}, PAGE_EXECUTE_WRITECOPY},
                          {kEntryCode, {kPushOpcode}, PAGE_EXECUTE_WRITECOPY},
                          {kCodeBase, {}, PAGE_EXECUTE_WRITECOPY},
                          {flagAddressOf(kA), {kGameFlag}, PAGE_EXECUTE_WRITECOPY},
                          {kProbeA, kSignatureBytes, PAGE_EXECUTE_WRITECOPY},
                          {kGameEnd, {}, 0}}});
    }
    // The last sector cut just after the signature: the loader reads its rest as zeros.
    cases.push_back({changed(runnable("FileEndsInLastSector"),
                             [](LoaderLayout& l) {
                                 endDataAtSignature(l);
                                 l.sizeChange = -long{kSignatureSectorEnd - kSignatureEnd};
                             }),
                     0, "A", "", Outcome::Loaded,
                     {{kProbeA, {0x55, 0x89, 0xE5, 0x53, 0x00}, PAGE_EXECUTE_READ},
                      {kProbePage + kSignatureSectorEnd - 1, {0x00}, PAGE_EXECUTE_READ}}});
    // Cut two bytes into the signature: the rest of the sector is zeros, not
    // what the file held, and the checker cannot tell what the signature was.
    cases.push_back({changed(runnable("FileEndsInsideTheSignature"),
                             [](LoaderLayout& l) {
                                 endDataAtSignature(l);
                                 l.sizeChange = -long{kSignatureSectorEnd - kSignatureEnd + 2};
                             }),
                     2, "", "\"held\": \"past_end_of_file\"", Outcome::Loaded,
                     {{kProbeA, {0x55, 0x89, 0x00, 0x00}, PAGE_EXECUTE_READ}}});
    cases.push_back({changed(runnable("FileEndsBeforeLastSector"),
                             [](LoaderLayout& l) {
                                 endDataAtSignature(l);
                                 l.sizeChange = -long{kSignatureSectorEnd - kSignatureEnd + kSector};
                             }),
                     2, "", "past the end of the file", Outcome::NotStarted, {}});
    addHeaderRules(cases);
    return cases;
}

}  // namespace

std::vector<unsigned char> fileOf(const LoaderLayout& layout) {
    std::vector<unsigned char> file = writeExecutable(layout.exe());
    for (const LoaderLayout::Field& field : layout.fields) {
        const std::uint32_t at = field.inDosHeader ? field.at : layout.exe().ntHeader + field.at;
        for (std::uint32_t i = 0; i < field.size; ++i) file[at + i] = static_cast<unsigned char>(field.value >> (8 * i));
    }
    file.resize(static_cast<std::size_t>(std::max(0L, static_cast<long>(file.size()) + layout.sizeChange)), 0);
    return file;
}

const std::vector<NamedLayout>& namedLayouts() {
    static const std::vector<NamedLayout> cases = makeNamedLayouts();
    return cases;
}

namespace {

// The game's bytes of a setup, made once: most layouts share a handful of
// setups, and each test program makes every layout when it starts.
const std::vector<unsigned char>& gameBytesOnce(const GameSetup& s) {
    static std::map<std::string, std::vector<unsigned char>> made;
    const std::string key = textf(
        "%x %x %x %x %x %x %d%d%d%d%d%d%d %x %x %x %x", s.build.probeAddress, s.build.pageSlot, s.build.flagSourceSlot,
        s.build.flagDestSlot, s.build.enterSettingsDirRoutine, s.build.setDirRoutine, s.signatureAtA, s.signatureAtB,
        s.codeWritable, s.overridePageBase, s.overrideFlagAddress, s.probeNoAccess, s.routinesNotExecutable,
        s.pageBase, s.flagAddress, s.readOnlyPage, s.guardPage);
    const auto found = made.find(key);
    return found != made.end() ? found->second : made.emplace(key, gameBytesOf(s)).first->second;
}

}  // namespace

LoaderLayout runnable(const std::string& name, const GameSetup& setup) {
    LoaderLayout layout;
    layout.name = name;
    layout.setup = setup;
    return layout;
}

ExeLayout& LoaderLayout::exe() const {
    if (made == nullptr) {
        ExecutableOptions options;
        options.runnable = true;
        made = std::make_shared<ExeLayout>(gameLayout(setup, gameBytesOnce(setup), options));
        // Each change may ask for the executable again: it is made by now.
        for (const auto& change : changes) change(const_cast<LoaderLayout&>(*this));
    }
    return *made;
}

std::uint32_t roundUp(std::uint64_t value, std::uint32_t alignment) {
    return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

std::vector<unsigned char> gameMemoryOf(const ExeLayout& exe) {
    std::vector<unsigned char> memory(kGameEnd - kGameBegin, 0);
    for (const ExeSection& section : exe.sections) {
        if (section.begin < kGameBegin || section.begin >= kGameEnd) continue;
        std::copy(section.data.begin(), section.data.begin() + std::min<std::size_t>(section.data.size(), section.virtualSize),
                  memory.begin() + (section.begin - kGameBegin));
    }
    return memory;
}

void flatten(ExeLayout& exe, std::uint32_t alignment) {
    exe.sectionAlignment = alignment;
    exe.fileAlignment = alignment;
    for (ExeSection& section : exe.sections) {
        section.rawOffset = section.begin - kLoaderImageBase;
    }
}
