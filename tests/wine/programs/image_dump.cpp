// Starts runnable game executables one after another, waits until each has
// loaded (or failed to load) the plug-in, and writes what the loader and the
// plug-in left in its image: every region from the image base, with its state
// and protection, and the bytes of every committed one.
//
//   image_dump.exe LIST
//
// LIST holds one "EXECUTABLE<TAB>DUMP" per line. Each game starts in its own
// folder, so that it finds the DLL and the settings file beside it.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "substitute_host/game_executable.h"

namespace {

constexpr HostAddress kImageBase = 0x400000;
constexpr DWORD kWaitMilliseconds = 10000;
constexpr DWORD kPollMilliseconds = 2;

// How the game's start ended, first field of the dump.
enum Outcome : std::uint32_t { Loaded = 0, NotStarted = 1, Exited = 2, TimedOut = 3 };

std::wstring wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], size);
    return out;
}

void put32(std::FILE* out, std::uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    std::fwrite(bytes, 1, 4, out);
}

// Every region the image's allocation holds, as VirtualQueryEx gives them.
void dumpImage(HANDLE process, std::FILE* out) {
    std::vector<MEMORY_BASIC_INFORMATION> regions;
    for (HostAddress at = kImageBase;;) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQueryEx(process, reinterpret_cast<void*>(at), &info, sizeof info) != sizeof info) break;
        if (reinterpret_cast<HostAddress>(info.AllocationBase) != kImageBase) break;
        regions.push_back(info);
        at = reinterpret_cast<HostAddress>(info.BaseAddress) + static_cast<HostAddress>(info.RegionSize);
    }
    put32(out, static_cast<std::uint32_t>(regions.size()));
    std::vector<unsigned char> bytes;
    for (const MEMORY_BASIC_INFORMATION& info : regions) {
        put32(out, reinterpret_cast<HostAddress>(info.BaseAddress));
        put32(out, static_cast<std::uint32_t>(info.RegionSize));
        put32(out, info.State);
        put32(out, info.State == MEM_COMMIT ? info.Protect : 0);
        bytes.assign(info.RegionSize, 0);
        SIZE_T read = 0;
        // Queried first: only a committed region has bytes to read.
        const bool readable = info.State == MEM_COMMIT &&
                              ReadProcessMemory(process, info.BaseAddress, bytes.data(), bytes.size(), &read) &&
                              read == bytes.size();
        put32(out, readable ? 1 : 0);
        if (readable) std::fwrite(bytes.data(), 1, bytes.size(), out);
    }
}

bool runOne(const std::string& executable, const std::string& dumpPath) {
    std::FILE* out = _wfopen(wide(dumpPath).c_str(), L"wb");
    if (out == nullptr) return false;
    const std::wstring program = wide(executable);
    std::wstring folder = program.substr(0, program.find_last_of(L"\\/"));
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        put32(out, NotStarted);
        put32(out, GetLastError());
        put32(out, 0);
        return std::fclose(out) == 0;
    }
    Outcome outcome = TimedOut;
    DWORD code = 0;
    std::uint32_t marker[2] = {0, 0};
    for (DWORD waited = 0; waited < kWaitMilliseconds; waited += kPollMilliseconds) {
        SIZE_T read = 0;
        if (ReadProcessMemory(process.hProcess, reinterpret_cast<void*>(kRunnableMarker), marker, sizeof marker,
                              &read) &&
            read == sizeof marker && marker[1] == 1) {
            outcome = Loaded;
            break;
        }
        if (WaitForSingleObject(process.hProcess, kPollMilliseconds) == WAIT_OBJECT_0) {
            outcome = Exited;
            GetExitCodeProcess(process.hProcess, &code);
            break;
        }
    }
    put32(out, outcome);
    put32(out, code);
    put32(out, marker[0]);
    if (outcome == Loaded) dumpImage(process.hProcess, out);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: image_dump LIST\n");
        return 2;
    }
    std::FILE* list = std::fopen(argv[1], "rb");
    if (list == nullptr) {
        std::fprintf(stderr, "image_dump: cannot open %s\n", argv[1]);
        return 2;
    }
    char line[4096];
    int failures = 0;
    while (std::fgets(line, sizeof line, list) != nullptr) {
        std::string entry(line);
        while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.pop_back();
        const std::size_t tab = entry.find('\t');
        if (tab == std::string::npos) continue;
        if (!runOne(entry.substr(0, tab), entry.substr(tab + 1))) {
            std::fprintf(stderr, "image_dump: cannot write %s\n", entry.substr(tab + 1).c_str());
            ++failures;
        }
    }
    std::fclose(list);
    return failures == 0 ? 0 : 1;
}
