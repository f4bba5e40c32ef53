#include "checker/system/platform.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>

#include "checker/find/paths.h"
#include "text/text.h"
#include "checker/find/virtual_store.h"
#include "host/page_access.h"

namespace {

HANDLE gProcess = nullptr;
DWORD gReadError = 0;
bool gOpenRefused = false;

void* at(HostAddress address) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)); }

std::wstring wide(const std::string& text, UINT codePage = CP_UTF8) {
    const int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(size > 0 ? size : 0, L'\0');
    if (size > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

// Half a surrogate pair, which a file name may hold, becomes U+FFFD.
std::string utf8(const wchar_t* text, int length = -1) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &result[0], size, nullptr, nullptr);
    if (length == -1 && !result.empty()) result.pop_back();  // the terminating NUL
    return result;
}

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

// A console takes UTF-16; a pipe or a file gets the UTF-8 bytes as they are.
void write(DWORD stream, const std::string& text) {
    const HANDLE handle = GetStdHandle(stream);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring units = wide(text);
        WriteConsoleW(handle, units.data(), static_cast<DWORD>(units.size()), &written, nullptr);
    } else {
        WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

std::string environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? utf8(value) : std::string();
}

}  // namespace

bool openGameProcess(unsigned pid, GameSource* source, std::string* name, std::string* why) {
    gReadError = 0;
    gOpenRefused = false;
    gProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (gProcess == nullptr) {
        const DWORD error = GetLastError();
        gOpenRefused = error == ERROR_ACCESS_DENIED;
        *why = errorWords(error);
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
    wchar_t file[MAX_PATH] = {};
    *name = GetModuleBaseNameW(gProcess, nullptr, file, MAX_PATH) ? utf8(file) : "?";
    *source = {processRegion, readProcess};
    return true;
}

void closeGameProcess() {
    if (gProcess != nullptr) CloseHandle(gProcess);
    gProcess = nullptr;
}

std::string processReadProblem() { return errorWords(gReadError); }

bool processOpenRefused() { return gOpenRefused; }

bool listProcesses(std::vector<RunningProcess>* all, std::string* why) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        *why = "the list of running processes cannot be read (" + errorWords(GetLastError()) + ")";
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        // 0 is the idle process, which is no program.
        if (entry.th32ProcessID == 0 || entry.th32ProcessID == GetCurrentProcessId()) continue;
        all->push_back({static_cast<unsigned>(entry.th32ProcessID), utf8(entry.szExeFile)});
    }
    CloseHandle(snapshot);
    return true;
}

bool openProcessHasPlugin() {
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!EnumProcessModules(gProcess, modules, sizeof modules, &needed)) return false;
    const DWORD count = std::min<DWORD>(needed / sizeof(HMODULE), sizeof modules / sizeof(HMODULE));
    for (DWORD i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH] = {};
        if (GetModuleBaseNameW(gProcess, modules[i], name, MAX_PATH) && sameFileName(utf8(name), kPluginFileName)) {
            return true;
        }
    }
    return false;
}

bool openProcessRuns(const std::string& executable) {
    // A path may be longer than MAX_PATH; 32767 units is the most Windows has.
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(gProcess, 0, &path[0], &size)) return false;
    std::error_code error;
    return std::filesystem::equivalent(pathOf(utf8(path.c_str(), static_cast<int>(size))), pathOf(executable), error);
}

Processes systemProcesses() {
    return {listProcesses, openGameProcess,      processOpenRefused, processReadProblem,
            openProcessHasPlugin, openProcessRuns, closeGameProcess};
}

std::FILE* openToRead(const std::string& path) { return _wfopen(wide(path).c_str(), L"rb"); }

std::string fromSystemCodePage(const std::string& text) {
    const std::wstring units = wide(text, CP_ACP);
    return utf8(units.c_str(), static_cast<int>(units.size()));
}

bool shortcutTargetPath(const std::string& shortcut, const std::string& target, bool relative,
                        std::string* path, std::string*) {
    *path = relative ? textOf(pathOf(shortcut).parent_path() / pathOf(target)) : target;
    return true;
}

void writeOut(const std::string& text) { write(STD_OUTPUT_HANDLE, text); }
void writeErr(const std::string& text) { write(STD_ERROR_HANDLE, text); }

void holdOwnConsoleWindow() {
    // From a prompt or a script the console has other processes too.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return;
    DWORD mode;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return;
    writeOut("\nPress Enter to close this window.");
    wchar_t line[16];
    DWORD read = 0;
    ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), line, 16, &read, nullptr);
}

VirtualStore systemVirtualStore() {
    VirtualStore store;
    // A 32-bit program sees ProgramFiles as the 32-bit folder; ProgramW6432 is the other one.
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"ProgramData", L"SystemRoot"}) {
        const std::string folder = environment(name);
        if (!folder.empty()) store.virtualisedFolders.push_back(folder);
    }
    const std::string local = environment(L"LOCALAPPDATA");
    if (!local.empty()) store.root = local + "\\VirtualStore";
    return store;
}
