#include "checker/system/platform.h"

// A game under Wine or Proton is a Linux process that keeps the game's image at
// its Windows addresses: the regions come from /proc/PID/maps, the bytes from
// /proc/PID/mem. That file reads pages the game itself may not, so every read
// is asked about in the maps first, as VirtualQueryEx would be on Windows.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <windows.h>  // page protection constants, as a Windows program is told them

#include "checker/system/linux_process.h"
#include "checker/find/beside.h"
#include "checker/find/paths.h"
#include "text/text.h"
#include "checker/find/virtual_store.h"
#include "checker/find/wine_paths.h"
#include "host/page_access.h"

namespace {

int gMemory = -1;
unsigned gPid = 0;
std::string gMaps;  // the open process's /proc/PID/maps, as read when it was opened
std::vector<Mapping> gMappings;
std::string gReadProblem;
bool gOpenRefused = false;

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

HostRegion processRegion(HostAddress address) { return mappedRegion(gMappings, address); }

long readMemory(HostAddress address, unsigned char* out, std::uint32_t size) {
    return static_cast<long>(pread(gMemory, out, size, static_cast<off_t>(address)));
}

bool readProcess(HostAddress address, unsigned char* out, std::uint32_t size) {
    return readWhereReadable(address, out, size, readMemory, &gReadProblem);
}

std::string ptraceScope() {
    std::string scope = readText("/proc/sys/kernel/yama/ptrace_scope");
    while (!scope.empty() && (scope.back() == '\n' || scope.back() == ' ')) scope.pop_back();
    return scope;
}

// Why Linux would not let us read the process's memory, from the error of the
// call that failed, taken before anything else can change errno.
std::string refusal(unsigned pid, int error) {
    struct stat owner {};
    const bool another =
        stat(("/proc/" + std::to_string(pid)).c_str(), &owner) == 0 && owner.st_uid != geteuid();
    return memoryRefusal(error, another, geteuid() == 0, ptraceScope());
}

// What Linux shows of the program a process runs: a Wine process, another
// process, or (another user's, to one who is not root) nothing.
enum class Shown { Wine, NotWine, Hidden };

bool refused(const std::error_code& error) {
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
}

// The file name of the process's executable; `hidden` when Linux will not say.
std::string executableNameOf(unsigned pid, bool* hidden) {
    std::error_code error;
    const std::string name =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).filename().string();
    *hidden = refused(error);
    return name;
}

Shown programShown(unsigned pid, const std::string& executableName, bool hidden) {
    if (hidden) return Shown::Hidden;
    if (isWineLoader(executableName)) return Shown::Wine;
    // A loader of another name (Proton's, a packaged Wine), or Wine under an
    // emulator: Wine's own ntdll is mapped.
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    if (!maps && errno == EACCES) return Shown::Hidden;
    std::ostringstream text;
    text << maps.rdbuf();
    const std::string mapped = text.str();
    return mapped.find("/ntdll.so") != std::string::npos || mapped.find("/ntdll.dll.so") != std::string::npos
               ? Shown::Wine
               : Shown::NotWine;
}

std::string programOfProcess(unsigned pid, const std::string& executableName) {
    return windowsProgramOf(readText("/proc/" + std::to_string(pid) + "/cmdline"), executableName);
}

}  // namespace

bool openGameProcess(unsigned pid, GameSource* source, std::string* name, std::string* why) {
    gReadProblem.clear();
    gOpenRefused = false;
    const std::string folder = "/proc/" + std::to_string(pid);
    if (access(folder.c_str(), F_OK) != 0) {
        *why = "no process with that id is running";
        return false;
    }
    bool hidden = false;
    const std::string executable = executableNameOf(pid, &hidden);
    const Shown shown = programShown(pid, executable, hidden);
    if (shown == Shown::Hidden) {
        gOpenRefused = true;
        *why = refusal(pid, EACCES);
        return false;
    }
    if (shown == Shown::NotWine) {
        *why = "not a Windows program running under Wine or Proton (the game runs as one)";
        return false;
    }
    gMemory = open((folder + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
    if (gMemory < 0) {
        const int error = errno;
        gOpenRefused = error == EACCES || error == EPERM;
        *why = refusal(pid, error);
        return false;
    }
    std::ifstream maps(folder + "/maps");
    if (!maps) {
        const int error = errno;
        gOpenRefused = error == EACCES || error == EPERM;
        *why = refusal(pid, error);
        closeGameProcess();
        return false;
    }
    std::ostringstream text;
    text << maps.rdbuf();
    gPid = pid;
    gMaps = text.str();
    gMappings = parseMaps(gMaps);
    // /proc/PID/mem opens for a process we may not trace, and then refuses the read.
    unsigned char probe = 0;
    const auto readable = std::find_if(gMappings.begin(), gMappings.end(),
                                       [](const Mapping& m) { return m.protection != PAGE_NOACCESS; });
    if (readable != gMappings.end() && pread(gMemory, &probe, 1, static_cast<off_t>(readable->begin)) != 1) {
        const int error = errno;
        gOpenRefused = error == EACCES || error == EPERM;
        *why = refusal(pid, error);
        closeGameProcess();
        return false;
    }
    *name = programOfProcess(pid, executable);
    *source = {processRegion, readProcess};
    return true;
}

void closeGameProcess() {
    if (gMemory >= 0) close(gMemory);
    gMemory = -1;
    gPid = 0;
    gMaps.clear();
    gMappings.clear();
}

std::string processReadProblem() { return gReadProblem.empty() ? "the game's memory could not be read" : gReadProblem; }

bool processOpenRefused() { return gOpenRefused; }

bool listProcesses(std::vector<RunningProcess>* all, std::string* why) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        *why = "the list of running processes cannot be read (/proc)";
        return false;
    }
    const unsigned self = static_cast<unsigned>(getpid());
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid == 0 || pid == self) continue;
        // Another user's process shows its command line, not what it runs: it
        // is listed, and opening it says why it cannot be read.
        bool hidden = false;
        const std::string executable = executableNameOf(static_cast<unsigned>(pid), &hidden);
        if (programShown(static_cast<unsigned>(pid), executable, hidden) == Shown::NotWine) continue;
        // Wine shows the program's name in comm only cut to 15 characters: the
        // whole name comes from the command line.
        const std::string program = programOfProcess(static_cast<unsigned>(pid), executable);
        // Of another user's processes, only those that name a Windows program may be the game.
        if (hidden && !namedAsExecutable(program)) continue;
        all->push_back({static_cast<unsigned>(pid), program});
    }
    closedir(proc);
    return true;
}

bool openProcessHasPlugin() { return mapsHoldFileNamed(gMaps, kPluginFileName); }

bool openProcessRuns(const std::string& executable) {
    // Wine maps the program's file into its process: the same file is one of
    // its mappings. A path in the maps is as the game sees it, which in a
    // container (Proton's, Flatpak's) is another view than ours: seen through
    // the process's own root first.
    namespace fs = std::filesystem;
    const fs::path file = pathOf(executable);
    const std::string name = textOf(file.filename());
    std::error_code error;
    for (const std::string& mapped : mappedFiles(gMaps)) {
        if (!sameFileName(textOf(fs::path(mapped).filename()), name)) continue;
        const fs::path seen = "/proc/" + std::to_string(gPid) + "/root" + mapped;
        if (fs::equivalent(seen, file, error) || fs::equivalent(fs::path(mapped), file, error)) return true;
    }
    return false;
}

Processes systemProcesses() {
    return {listProcesses, openGameProcess,      processOpenRefused, processReadProblem,
            openProcessHasPlugin, openProcessRuns, closeGameProcess};
}

std::FILE* openToRead(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

std::string fromSystemCodePage(const std::string& text) {
    // 0x80 to 0x9F, where Windows-1252 differs from Latin-1; the five it leaves
    // undefined map to the control characters of their number, as Windows does.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string units;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        units += byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : static_cast<char16_t>(byte);
    }
    return utf8FromUtf16(units);
}

bool shortcutTargetPath(const std::string& shortcut, const std::string& target, bool relative,
                        std::string* path, std::string* why) {
    std::error_code error;
    const char* prefix = std::getenv("WINEPREFIX");
    const char* home = std::getenv("HOME");
    const WineLookup lookup = {
        textOf(std::filesystem::absolute(pathOf(shortcut), error).lexically_normal().parent_path()),
        prefix != nullptr ? prefix : "", home != nullptr ? home : ""};
    return unixPathOf(target, relative, lookup, path, why);
}

void writeOut(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void writeErr(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

void holdOwnConsoleWindow() {}

VirtualStore systemVirtualStore() { return {}; }
