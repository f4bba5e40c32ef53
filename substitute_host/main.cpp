// Stand-in for the game process: lays out one build's memory, loads the
// plug-in with LoadLibrary, and reports what the load changed and what the
// game's routines saw. With --demo it shows the same to a person.
//
//   substitute_host.exe [--dll PATH] [--build A|B|C|AB] [--settings DIR] [--start DIR]
//                       [--signatures NONE|A|B|AB] [--code-writable] [--page-base ADDRESS|unmapped]
//                       [--flag-address ADDRESS|unmapped] [--probe-noaccess]
//                       [--routines-noexec] [--readonly-page ADDRESS] [--guard-page ADDRESS]
//                       [--demo] [--random SEED [--count N] [--seconds S]]
//                       [--stay STOP_FILE [--no-dll] [--change-row-byte]]
//                       [--write-exe PATH [--data-mb N]]

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/text.h"
#include "substitute_host/caller_stack.h"
#include "substitute_host/demo.h"
#include "substitute_host/game_executable.h"
#include "substitute_host/game_image.h"
#include "substitute_host/random_hosts.h"
#include "substitute_host/sample_settings.h"

namespace {

struct Options {
    std::string dll = "menupatch.dll";
    GameSetup setup;
    std::string settingsFolder;  // empty: the demo writes a sample one
    std::string startFolder = ".";
    bool demo = false;
    std::string stopFile;  // --stay: keep running until it exists
    std::string executableFile;  // --write-exe: write the game as an executable file
    ExecutableOptions executable;
    bool loadDll = true;
    bool changeRowByte = false;
    bool random = false;
    RandomRun randomRun;
};

// What the game's routines saw when the plug-in called them.
struct RoutineSeen {
    int calls = 0;
    bool operandWritten = false;
    bool rowsWritten = false;
    int flag = -1;
    std::string argument;
    std::string file;  // closed, open or absent, by an exclusive open
};

Options gOptions;
std::vector<unsigned char> gLaidOut;
RoutineSeen gEnterSeen;
RoutineSeen gSetDirSeen;

std::vector<unsigned char> bytesAt(HostAddress address, std::uint32_t size) {
    return {gameBytes(address), gameBytes(address) + size};
}

std::vector<unsigned char> laidOutAt(HostAddress address, std::uint32_t size) {
    const auto first = gLaidOut.begin() + (address - kGameBegin);
    return {first, first + size};
}

RoutineSeen seeGame() {
    const HostProfile& b = gOptions.setup.build;
    RoutineSeen seen;
    seen.operandWritten = gameRead32(b.flagDestSlot) != oldOperandOf(b);
    const HostAddress rows = pageBaseOf(b) + kRowsOffset;
    seen.rowsWritten = bytesAt(rows, kRowsSize) != laidOutAt(rows, kRowsSize);
    seen.flag = *gameBytes(flagAddressOf(b));
    return seen;
}

void __cdecl enterSettingsDir() {
    const int calls = gEnterSeen.calls + 1;
    gEnterSeen = seeGame();
    gEnterSeen.calls = calls;
    SetCurrentDirectoryA(gOptions.settingsFolder.c_str());
}

std::string settingsFileState() {
    const std::string path = gOptions.settingsFolder + "/korvan.set";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return "closed";
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? "open" : "absent";
}

void __cdecl setDir(const char* path) {
    const int calls = gSetDirSeen.calls + 1;
    gSetDirSeen = seeGame();
    gSetDirSeen.calls = calls;
    gSetDirSeen.argument = path;
    gSetDirSeen.file = settingsFileState();
    SetCurrentDirectoryA(gOptions.startFolder.c_str());
}

void layOut() {
    layOutGame(gOptions.setup);
    installRoutines(gOptions.setup.build, enterSettingsDir,
                    reinterpret_cast<StringRoutine>(routineFollowingCaller(setDir)));
    gLaidOut = snapshotGame();
    protectGame(gOptions.setup);
}

// Wine answers GetProcessHandleCount with 0, so count the live handle values.
DWORD handleCount() {
    constexpr std::uintptr_t kLastHandle = 0x10000;
    DWORD count = 0;
    DWORD flags;
    for (std::uintptr_t h = 4; h <= kLastHandle; h += 4) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++count;
    }
    return count;
}

DWORD WINAPI idleThread(LPVOID) { return 0; }

void report(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }
void report(const char* key, unsigned long value) { std::printf("%s=0x%lx\n", key, value); }

void reportSeen(const char* who, const RoutineSeen& seen) {
    const std::string prefix = who;
    report((prefix + "_calls").c_str(), seen.calls);
    report((prefix + "_operand_written").c_str(), seen.operandWritten);
    report((prefix + "_rows_written").c_str(), seen.rowsWritten);
    report((prefix + "_flag").c_str(), seen.flag);
}

void reportChanges(const char* key, const std::vector<HostAddress>& changed) {
    report(key, changed.size());
    if (!changed.empty()) report((std::string(key) + "_first").c_str(), changed.front());
}

// The one event as the tests see it, then thread attach, unload and a second load.
int runReport() {
    const HostProfile& b = gOptions.setup.build;
    const std::vector<ByteRange> touched = {
        {b.flagDestSlot, 4}, {pageBaseOf(b) + kRowsOffset, kRowsSize}, {flagAddressOf(b), 1}};
    layOut();
    const DWORD protectionBefore = protectionAt(b.flagDestSlot);
    const DWORD handlesBefore = handleCount();
    const int flagBefore = laidOutAt(flagAddressOf(b), 1)[0];

    HMODULE plugin = LoadLibraryA(gOptions.dll.c_str());
    report("load", plugin != nullptr ? "ok" : "failed");
    if (plugin == nullptr) return 1;
    report("protection_before", protectionBefore);
    report("protection_after", protectionAt(b.flagDestSlot));
    // Guard and no-access pages of the setup would fault on our own reads.
    makeGameReadable();
    report("handles_before", handlesBefore);
    report("handles_after", handleCount());
    report("build", nameOf(b));
    report("rows", hexBytes(bytesAt(pageBaseOf(b) + kRowsOffset, kRowsSize)));
    report("operand", gameRead32(b.flagDestSlot));
    report("flag_address", flagAddressOf(b));
    report("flag_before", flagBefore);
    report("flag_after", *gameBytes(flagAddressOf(b)));
    reportChanges("changed_outside", changesOutside(gLaidOut, touched));
    reportChanges("changed_total", changesOutside(gLaidOut, {}));
    reportSeen("enter", gEnterSeen);
    reportSeen("setdir", gSetDirSeen);
    report("setdir_argument", "\"" + gSetDirSeen.argument + "\"");
    report("setdir_file", gSetDirSeen.file);
    if (gSetDirSeen.calls > 0) report("setdir_stack", callerKeptArgumentSlot() ? "kept" : "taken_back");

    const std::vector<unsigned char> loaded = snapshotGame();
    HANDLE thread = CreateThread(nullptr, 0, idleThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    reportChanges("thread_changes", changesOutside(loaded, {}));
    FreeLibrary(plugin);
    reportChanges("free_changes", changesOutside(loaded, {}));

    layOut();
    plugin = LoadLibraryA(gOptions.dll.c_str());
    makeGameReadable();
    report("second_load", plugin != nullptr ? "ok" : "failed");
    report("second_rows", hexBytes(bytesAt(pageBaseOf(b) + kRowsOffset, kRowsSize)));
    report("second_operand", gameRead32(b.flagDestSlot));
    if (plugin != nullptr) FreeLibrary(plugin);
    return 0;
}

int runDemo() {
    if (gOptions.settingsFolder.empty()) gOptions.settingsFolder = writeSampleSettings("menupatch-demo");
    layOut();
    const std::vector<unsigned char> before = gLaidOut;
    HMODULE plugin = LoadLibraryA(gOptions.dll.c_str());
    makeGameReadable();
    if (plugin == nullptr) {
        std::fprintf(stderr, "could not load %s (error %lu)\n", gOptions.dll.c_str(), GetLastError());
        return 1;
    }
    printDemo(gOptions.setup.build, before, snapshotGame(), gOptions.settingsFolder);
    FreeLibrary(plugin);
    return 0;
}

// A running game for menupatch-check to read: laid out, the plug-in loaded (or
// not), maybe one row byte changed after it, and then idle until the stop file
// appears, or two minutes have passed.
int runStaying() {
    constexpr DWORD kLongestStayMs = 120000;
    constexpr DWORD kPollMs = 50;
    const HostProfile& b = gOptions.setup.build;
    layOut();
    HMODULE plugin = nullptr;
    if (gOptions.loadDll) {
        plugin = LoadLibraryA(gOptions.dll.c_str());
        report("load", plugin != nullptr ? "ok" : "failed");
        if (plugin == nullptr) return 1;
    }
    // Something else writing to the same menu page.
    if (gOptions.changeRowByte) *gameBytes(pageBaseOf(b) + kRowsOffset + 40) ^= 0xFF;
    std::printf("pid=%lu\nready=yes\n", GetCurrentProcessId());
    std::fflush(stdout);
    for (DWORD waited = 0; waited < kLongestStayMs; waited += kPollMs) {
        if (GetFileAttributesA(gOptions.stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(kPollMs);
    }
    if (plugin != nullptr) FreeLibrary(plugin);
    return 0;
}

// An address, or "unmapped" for one where nothing is committed.
HostAddress addressArgument(const std::string& text) {
    return text == "unmapped" ? uncommittedAddress() : std::strtoul(text.c_str(), nullptr, 0);
}

bool parse(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--dll" && hasValue) {
            gOptions.dll = argv[++i];
        } else if (arg == "--settings" && hasValue) {
            gOptions.settingsFolder = argv[++i];
        } else if (arg == "--start" && hasValue) {
            gOptions.startFolder = argv[++i];
        } else if (arg == "--build" && hasValue) {
            if (!setupOfBuild(argv[++i], &gOptions.setup)) return false;
        } else if (arg == "--signatures" && hasValue) {
            const std::string where = argv[++i];
            gOptions.setup.signatureAtA = where == "A" || where == "AB";
            gOptions.setup.signatureAtB = where == "B" || where == "AB";
        } else if (arg == "--code-writable") {
            gOptions.setup.codeWritable = true;
        } else if (arg == "--page-base" && hasValue) {
            gOptions.setup.overridePageBase = true;
            gOptions.setup.pageBase = addressArgument(argv[++i]);
        } else if (arg == "--flag-address" && hasValue) {
            gOptions.setup.overrideFlagAddress = true;
            gOptions.setup.flagAddress = addressArgument(argv[++i]);
        } else if (arg == "--probe-noaccess") {
            gOptions.setup.probeNoAccess = true;
        } else if (arg == "--routines-noexec") {
            gOptions.setup.routinesNotExecutable = true;
        } else if (arg == "--readonly-page" && hasValue) {
            gOptions.setup.readOnlyPage = std::strtoul(argv[++i], nullptr, 0);
        } else if (arg == "--guard-page" && hasValue) {
            gOptions.setup.guardPage = std::strtoul(argv[++i], nullptr, 0);
        } else if (arg == "--random" && hasValue) {
            gOptions.random = true;
            gOptions.randomRun.seed = std::strtoul(argv[++i], nullptr, 0);
        } else if (arg == "--count" && hasValue) {
            gOptions.randomRun.count = std::atoi(argv[++i]);
        } else if (arg == "--seconds" && hasValue) {
            gOptions.randomRun.seconds = std::atoi(argv[++i]);
        } else if (arg == "--demo") {
            gOptions.demo = true;
        } else if (arg == "--stay" && hasValue) {
            gOptions.stopFile = argv[++i];
        } else if (arg == "--write-exe" && hasValue) {
            gOptions.executableFile = argv[++i];
        } else if (arg == "--data-mb" && hasValue) {
            gOptions.executable.resourceBytes = std::strtoul(argv[++i], nullptr, 0) << 20;
        } else if (arg == "--no-dll") {
            gOptions.loadDll = false;
        } else if (arg == "--change-row-byte") {
            gOptions.changeRowByte = true;
        } else {
            return false;
        }
    }
    return gOptions.demo || !gOptions.stopFile.empty() || !gOptions.executableFile.empty() ||
           !gOptions.settingsFolder.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (!parse(argc, argv)) {
        std::fprintf(stderr, "usage: see the head of substitute_host/main.cpp\n");
        return 2;
    }
    if (!gameImageCoversGame()) {
        std::fprintf(stderr, "the game region is not at the game's addresses; check the link\n");
        return 2;
    }
    SetCurrentDirectoryA(gOptions.startFolder.c_str());
    if (gOptions.random) {
        RandomRun& run = gOptions.randomRun;
        run.dll = gOptions.dll;
        run.settingsFolder = gOptions.settingsFolder;
        run.startFolder = gOptions.startFolder;
        return runRandomHosts(run);
    }
    if (!gOptions.executableFile.empty()) {
        return writeFile(gOptions.executableFile, gameExecutable(gOptions.setup, gOptions.executable)) ? 0 : 1;
    }
    if (!gOptions.stopFile.empty()) return runStaying();
    return gOptions.demo ? runDemo() : runReport();
}
