#include "checker/platform.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>

#include "host/page_access.h"

namespace {

HANDLE gProcess = nullptr;
DWORD gReadError = 0;

void* at(HostAddress address) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)); }

std::string errorWords(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return "access denied: the game runs as another user or as administrator; run "
                   "menupatch-check the same way";
        case ERROR_INVALID_PARAMETER: return "no process with that id is running";
        case ERROR_NOACCESS:
        case ERROR_PARTIAL_COPY: return "part of the game's memory could not be read";
        default: return "Windows error " + std::to_string(error);
    }
}

HostRegion processRegion(HostAddress address) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQueryEx(gProcess, at(address), &info, sizeof info) == 0) {
        gReadError = GetLastError();
        return {address, 0, false, 0};
    }
    return {static_cast<HostAddress>(reinterpret_cast<std::uintptr_t>(info.BaseAddress)),
            static_cast<std::uint32_t>(info.RegionSize), info.State == MEM_COMMIT, info.Protect};
}

bool readProcess(HostAddress address, unsigned char* out, std::uint32_t size) {
    // Wine serves reads of no-access pages: ask the regions first.
    if (!hasAccess(address, size, Access::Readable)) {
        gReadError = ERROR_NOACCESS;
        return false;
    }
    SIZE_T read = 0;
    if (!ReadProcessMemory(gProcess, at(address), out, size, &read) || read != size) {
        gReadError = read != size && GetLastError() == 0 ? ERROR_PARTIAL_COPY : GetLastError();
        return false;
    }
    return true;
}

}  // namespace

bool openGameProcess(unsigned pid, GameSource* source, std::string* name, std::string* why) {
    gReadError = 0;
    gProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (gProcess == nullptr) {
        *why = errorWords(GetLastError());
        return false;
    }
    DWORD exitCode = 0;
    if (GetExitCodeProcess(gProcess, &exitCode) && exitCode != STILL_ACTIVE) {
        *why = "it has ended";
        closeGameProcess();
        return false;
    }
    BOOL oursEmulated = FALSE;
    BOOL theirsEmulated = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &oursEmulated) && oursEmulated &&
        IsWow64Process(gProcess, &theirsEmulated) && !theirsEmulated) {
        *why = "a 64-bit process, not the 32-bit game";
        closeGameProcess();
        return false;
    }
    char file[MAX_PATH] = {};
    *name = GetModuleBaseNameA(gProcess, nullptr, file, sizeof file) ? file : "?";
    *source = {processRegion, readProcess};
    return true;
}

void closeGameProcess() {
    if (gProcess != nullptr) CloseHandle(gProcess);
    gProcess = nullptr;
}

std::string processReadProblem() { return errorWords(gReadError); }

bool findProcesses(const std::string& name, std::vector<RunningProcess>* found, std::string* why) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        *why = "the list of running processes cannot be read (" + errorWords(GetLastError()) + ")";
        return false;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (_stricmp(entry.szExeFile, name.c_str()) == 0) {
            found->push_back({static_cast<unsigned>(entry.th32ProcessID), entry.szExeFile});
        }
    }
    CloseHandle(snapshot);
    return true;
}

void holdOwnConsoleWindow(std::FILE* out) {
    // From a prompt or a script the console has other processes too.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return;
    DWORD mode;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return;
    std::fprintf(out, "\nPress Enter to close this window.");
    std::fflush(out);
    char line[16];
    std::fgets(line, sizeof line, stdin);
}
