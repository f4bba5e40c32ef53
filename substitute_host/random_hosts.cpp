#include "substitute_host/random_hosts.h"

#include <windows.h>

#include <cstdio>
#include <random>
#include <vector>

#include "substitute_host/game_image.h"

namespace {

const RandomRun* gRun = nullptr;
int gHostIndex = -1;

void __cdecl enterSettingsDir() { SetCurrentDirectoryA(gRun->settingsFolder.c_str()); }
void __cdecl setDir(const char*) { SetCurrentDirectoryA(gRun->startFolder.c_str()); }

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception) {
    std::printf("CRASH in host %d of seed %u: exception 0x%08lx at %p\n", gHostIndex, gRun->seed,
                exception->ExceptionRecord->ExceptionCode,
                exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stdout);
    ExitProcess(3);
}

constexpr DWORD kProtections[] = {PAGE_NOACCESS,     PAGE_READONLY,          PAGE_READWRITE,
                                  PAGE_EXECUTE,      PAGE_EXECUTE_READ,      PAGE_EXECUTE_READWRITE,
                                  PAGE_WRITECOPY,    PAGE_READWRITE | PAGE_GUARD};
constexpr std::uint32_t kPageCount = (kGameEnd - kGameBegin) / kPageSize;
constexpr int kPercentChanged = 20;
constexpr int kFailuresShown = 10;

struct RandomHost {
    GameSetup setup;
    HostAddress pageBase[3];
    HostAddress flagAddress[3];
    DWORD protection[kPageCount];
};

bool chance(std::mt19937& rng, int percent) { return static_cast<int>(rng() % 100) < percent; }

HostAddress anyAddress(std::mt19937& rng, HostAddress usual, HostAddress uncommitted) {
    if (chance(rng, 50)) return usual;
    switch (rng() % 7) {
        case 0: return 0;
        case 1: return rng() % 0x10000;                                            // null region
        case 2: return kGameBegin + rng() % (kGameEnd - kGameBegin - 0x1000);      // anywhere
        case 3: return kGameBegin + (1 + rng() % (kPageCount - 2)) * kPageSize - kRowsOffset -
                       rng() % kRowsSize;                                          // rows cross a page
        case 4: return 0xFFFFFFFF - rng() % 0x1000;                                // wraps around
        case 5: return uncommitted;
        default: return 0x400000 + rng() % 0x400;                                  // our own header
    }
}

bool readable(DWORD protection) {
    if (protection & (PAGE_GUARD | PAGE_NOACCESS)) return false;
    return protection != PAGE_EXECUTE;
}

DWORD protectionOf(const RandomHost& host, HostAddress address) {
    return host.protection[(address - kGameBegin) / kPageSize];
}

// The build the plug-in must choose: a signature counts only where it can be read.
const HostProfile& expectedBuild(const RandomHost& host) {
    if (host.setup.signatureAtA && readable(protectionOf(host, kProbeA))) return kA;
    if (host.setup.signatureAtB && readable(protectionOf(host, kProbeB))) return kB;
    return kC;
}

bool overlaps(std::uint64_t begin, std::uint64_t size, std::uint64_t otherBegin, std::uint64_t otherSize) {
    return begin < otherBegin + otherSize && otherBegin < begin + size;
}

// The sequence writes rows and the flag byte before it calls the routines; if
// either landed on our jump into a routine, that call would run the rows.
bool hitsRoutine(const HostProfile& build, HostAddress pageBase, HostAddress flag) {
    for (HostAddress routine : {build.enterSettingsDirRoutine, build.setDirRoutine}) {
        if (overlaps(std::uint64_t{pageBase} + kRowsOffset, kRowsSize, routine, 5)) return true;
        if (overlaps(flag, 1, routine, 5)) return true;
    }
    return false;
}

RandomHost generate(std::mt19937& rng, HostAddress uncommitted) {
    RandomHost host;
    host.setup.signatureAtA = chance(rng, 40);
    host.setup.signatureAtB = chance(rng, 40);
    for (std::uint32_t page = 0; page < kPageCount; ++page) {
        const HostAddress base = kGameBegin + page * kPageSize;
        host.protection[page] = chance(rng, kPercentChanged)
                                    ? kProtections[rng() % std::size(kProtections)]
                                    : pageProtectionOf(GameSetup{}, base);
    }
    for (const HostProfile& build : kBuilds) {
        const std::uint32_t i = indexOf(build);
        host.pageBase[i] = anyAddress(rng, pageBaseOf(build), uncommitted);
        host.flagAddress[i] = anyAddress(rng, flagAddressOf(build), uncommitted);
        if (hitsRoutine(build, host.pageBase[i], host.flagAddress[i])) {
            host.pageBase[i] = pageBaseOf(build);
            host.flagAddress[i] = flagAddressOf(build);
        }
    }
    host.setup.build = expectedBuild(host);
    return host;
}

void layOut(const RandomHost& host) {
    layOutGame(host.setup);
    for (const HostProfile& build : kBuilds) {
        gameWrite32(build.pageSlot, host.pageBase[indexOf(build)]);
        gameWrite32(build.flagSourceSlot, host.flagAddress[indexOf(build)]);
    }
    installRoutines(host.setup.build, enterSettingsDir, setDir);
}

void protect(const RandomHost& host) {
    DWORD old;
    for (std::uint32_t page = 0; page < kPageCount; ++page) {
        if (host.protection[page] == PAGE_READWRITE) continue;
        VirtualProtect(gameBytes(kGameBegin + page * kPageSize), kPageSize, host.protection[page], &old);
    }
}

}  // namespace

int runRandomHosts(const RandomRun& run) {
    gRun = &run;
    SetUnhandledExceptionFilter(reportCrash);
    std::mt19937 rng(run.seed);
    const HostAddress uncommitted = uncommittedAddress();
    const DWORD start = GetTickCount();
    int patched = 0;
    int failures = 0;
    int tried = 0;
    std::printf("seed %u\n", run.seed);
    std::fflush(stdout);

    for (; tried < run.count && GetTickCount() - start < run.seconds * 1000u; ++tried) {
        gHostIndex = tried;
        const RandomHost host = generate(rng, uncommitted);
        const HostProfile& b = host.setup.build;
        layOut(host);
        const std::vector<unsigned char> before = snapshotGame();
        protect(host);

        HMODULE plugin = LoadLibraryA(run.dll.c_str());
        makeGameReadable();
        if (plugin == nullptr) {
            if (++failures <= kFailuresShown) {
                std::printf("host %d: LoadLibrary failed (error %lu)\n", tried, GetLastError());
            }
            continue;
        }
        const std::vector<HostAddress> outside = changesOutside(
            before, {{b.flagDestSlot, 4},
                     {host.pageBase[indexOf(b)] + kRowsOffset, kRowsSize},
                     {host.flagAddress[indexOf(b)], 1}});
        if (!outside.empty() && ++failures <= kFailuresShown) {
            std::printf("host %d: %u bytes written outside the allowed ranges, first at 0x%06X\n",
                        tried, static_cast<unsigned>(outside.size()), outside.front());
        }
        if (gameRead32(b.flagDestSlot) != oldOperandOf(b)) ++patched;
        FreeLibrary(plugin);
    }
    std::printf("random hosts: %d tried in %.1f s (%d patched, %d left alone), %d failures\n", tried,
                (GetTickCount() - start) / 1000.0, patched, tried - patched, failures);
    return failures == 0 ? 0 : 1;
}
