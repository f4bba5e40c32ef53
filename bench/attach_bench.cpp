// What loading the plug-in costs the game, against the floor of the system
// calls its work needs. In one process and interleaved, for N cycles:
//   - load and free the plug-in in a host laid out as build A, with a settings file;
//   - load and free an empty DLL with no start-up code and no imports: the
//     floor of loading any DLL;
//   - load and free an empty DLL that imports what the plug-in imports;
//   - load and free, for reference, an empty DLL with the usual mingw start-up;
//   - make the floor's system calls directly: two directory changes, two
//     VirtualProtect, and CreateFile, SetFilePointer, ReadFile, CloseHandle.
// Prints the medians and (plug-in minus empty, per pair) / floor. The DLLs are
// copied into one folder under names of one length first: the loader's path
// lookup costs differ between folders and would show in the differences.
//
//   attach_bench.exe PLUGIN_DLL EMPTY_DLL EMPTY_WITH_IMPORTS EMPTY_WITH_STARTUP [CYCLES]

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "substitute_host/game_image.h"
#include "substitute_host/sample_settings.h"

namespace {

std::string gSettingsFolder;
std::string gStartFolder;

void __cdecl enterSettingsDir() { SetCurrentDirectoryA(gSettingsFolder.c_str()); }
void __cdecl setDir(const char*) { SetCurrentDirectoryA(gStartFolder.c_str()); }

LARGE_INTEGER gFrequency;

double microsecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - start.QuadPart) * 1e6 / gFrequency.QuadPart;
}

LARGE_INTEGER now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

double loadAndFree(const char* dll) {
    const LARGE_INTEGER start = now();
    HMODULE module = LoadLibraryA(dll);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", dll, GetLastError());
        std::exit(1);
    }
    FreeLibrary(module);
    return microsecondsSince(start);
}

// The plug-in's irreducible work, as direct system calls.
double floorCalls() {
    const LARGE_INTEGER start = now();
    SetCurrentDirectoryA(gSettingsFolder.c_str());
    DWORD previous;
    DWORD scratch;
    VirtualProtect(gameBytes(kA.flagDestSlot), 4, PAGE_EXECUTE_READWRITE, &previous);
    VirtualProtect(gameBytes(kA.flagDestSlot), 4, previous, &scratch);
    HANDLE file = CreateFileA("korvan.set", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetFilePointer(file, kSettingsFlagOffset, nullptr, FILE_BEGIN);
    unsigned char flag;
    DWORD read;
    ReadFile(file, &flag, 1, &read, nullptr);
    CloseHandle(file);
    SetCurrentDirectoryA(gStartFolder.c_str());
    return microsecondsSince(start);
}

// The unknown-host checks on their own: the queries the plug-in makes for build A.
double checkQueries() {
    const HostAddress places[] = {kProbeA, kA.pageSlot, kA.flagSourceSlot, kA.flagDestSlot,
                                  pageBaseOf(kA) + kRowsOffset, flagAddressOf(kA),
                                  kA.enterSettingsDirRoutine, kA.setDirRoutine};
    const LARGE_INTEGER start = now();
    for (HostAddress place : places) {
        MEMORY_BASIC_INFORMATION info;
        VirtualQuery(gameBytes(place), &info, sizeof info);
    }
    return microsecondsSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void layOutBuildA() {
    GameSetup setup;
    layOutGame(setup);
    installRoutines(setup.build, enterSettingsDir, setDir);
    protectGame(setup);
}

long long committedBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<long long>(counters.PagefileUsage);
}

long long heapBytesInUse() {
    long long total = 0;
    PROCESS_HEAP_ENTRY entry{};
    HANDLE heap = GetProcessHeap();
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heap);
    return total;
}

struct MemoryAdded {
    long long whileLoaded;  // committed memory the loaded DLL holds
    long long afterFree;    // process heap still in use once it is freed again
};

MemoryAdded memoryAddedBy(const char* dll) {
    const long long heapBefore = heapBytesInUse();
    const long long committedBefore = committedBytes();
    HMODULE module = LoadLibraryA(dll);
    const long long committedLoaded = committedBytes();
    FreeLibrary(module);
    return {committedLoaded - committedBefore, heapBytesInUse() - heapBefore};
}

// A copy of the DLL in the bench's own folder, under a name of the common length.
std::string copyForBench(const char* dll, const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "menupatch-bench-dlls";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string copy = folder + "\\" + name;
    if (!CopyFileA(dll, copy.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy %s (error %lu)\n", dll, GetLastError());
        std::exit(1);
    }
    return copy;
}

long fileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path, GetFileExInfoStandard, &data) ? data.nFileSizeLow : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: attach_bench PLUGIN_DLL EMPTY_DLL EMPTY_WITH_IMPORTS EMPTY_WITH_STARTUP "
                     "[CYCLES]\n");
        return 2;
    }
    const int cycles = argc > 5 ? std::atoi(argv[5]) : 1000;
    if (!gameImageCoversGame() || cycles < 1) return 2;
    QueryPerformanceFrequency(&gFrequency);
    gSettingsFolder = writeSampleSettings("menupatch-bench");
    const std::string pluginCopy = copyForBench(argv[1], "dll-p.dll");
    const std::string emptyCopy = copyForBench(argv[2], "dll-e.dll");
    const std::string importsCopy = copyForBench(argv[3], "dll-i.dll");
    const std::string startupCopy = copyForBench(argv[4], "dll-s.dll");
    const char* plugin = pluginCopy.c_str();
    const char* empty = emptyCopy.c_str();
    const char* emptyWithImports = importsCopy.c_str();
    const char* emptyWithStartup = startupCopy.c_str();
    char start[MAX_PATH];
    GetCurrentDirectoryA(sizeof start, start);
    gStartFolder = start;

    // One of each first, so that no figure pays for the first touch of a file.
    layOutBuildA();
    loadAndFree(plugin);
    loadAndFree(empty);
    loadAndFree(emptyWithImports);
    loadAndFree(emptyWithStartup);
    floorCalls();

    std::vector<double> pluginTimes, emptyTimes, importsTimes, startupTimes, differences, floorTimes,
        checkTimes;
    for (int i = 0; i < cycles; ++i) {
        layOutBuildA();
        pluginTimes.push_back(loadAndFree(plugin));
        emptyTimes.push_back(loadAndFree(empty));
        importsTimes.push_back(loadAndFree(emptyWithImports));
        startupTimes.push_back(loadAndFree(emptyWithStartup));
        differences.push_back(pluginTimes.back() - emptyTimes.back());
        floorTimes.push_back(floorCalls());
        checkTimes.push_back(checkQueries());
    }
    layOutBuildA();
    const MemoryAdded pluginMemory = memoryAddedBy(plugin);
    const MemoryAdded emptyMemory = memoryAddedBy(empty);

    const double work = median(differences);
    const double floor = median(floorTimes);
    std::printf("attach benchmark, %d cycles, host laid out as build A, settings file present\n",
                cycles);
    std::printf("  plug-in load+free        median %8.1f us\n", median(pluginTimes));
    std::printf("  empty DLL load+free      median %8.1f us\n", median(emptyTimes));
    std::printf("  plug-in minus empty      median %8.1f us (per pair)\n", work);
    std::printf("  floor system calls       median %8.1f us\n", floor);
    std::printf("  unknown-host checks      median %8.1f us (the 8 VirtualQuery alone)\n",
                median(checkTimes));
    std::printf("  ratio (plug-in - empty) / floor = %.2f (goal: 1.05 or less)\n", work / floor);
    std::printf("  of the difference, binding the plug-in's six imports alone: %.1f us\n"
                "  (an empty DLL with the same imports); without it the ratio is %.2f\n",
                median(importsTimes) - median(emptyTimes),
                (work - (median(importsTimes) - median(emptyTimes))) / floor);
    std::printf("  for reference, an empty DLL with the usual mingw start-up code: median %.1f us,\n"
                "  %.1f us more than the empty DLL without it\n",
                median(startupTimes), median(startupTimes) - median(emptyTimes));
    std::printf("  committed memory while loaded: plug-in %lld KiB, empty DLL %lld KiB\n",
                pluginMemory.whileLoaded / 1024, emptyMemory.whileLoaded / 1024);
    std::printf("  heap still in use after load and free: plug-in %lld bytes, empty DLL %lld bytes\n",
                pluginMemory.afterFree, emptyMemory.afterFree);
    std::printf("  plug-in DLL size %ld bytes\n", fileSize(plugin));
    return 0;
}
