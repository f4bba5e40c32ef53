#include "checker/system/linux_process.h"

#include <windows.h>  // page protection constants, as a Windows program is told them

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "host/page_access.h"
#include "text/text.h"

namespace {

constexpr std::uint64_t kPage = 0x1000;

// After the last slash of either kind.
std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool hexNumberAt(const std::string& text, std::uint64_t* value) {
    if (text.empty() || text.size() > 16) return false;
    std::uint64_t number = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        number = number << 4 | static_cast<std::uint64_t>(digit);
    }
    *value = number;
    return true;
}

}  // namespace

std::uint32_t protectionOfPermissions(const std::string& permissions) {
    const bool r = permissions.size() > 0 && permissions[0] == 'r';
    const bool w = permissions.size() > 1 && permissions[1] == 'w';
    const bool x = permissions.size() > 2 && permissions[2] == 'x';
    if (x) return w ? PAGE_EXECUTE_READWRITE : r ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
    if (w) return PAGE_READWRITE;
    // Wine maps its guard pages, and what it reserves, without any permission.
    return r ? PAGE_READONLY : PAGE_NOACCESS;
}

std::vector<Mapping> parseMaps(const std::string& text) {
    std::vector<Mapping> mappings;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string range;
        std::string permissions;
        fields >> range >> permissions;
        const auto dash = range.find('-');
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
        if (dash == std::string::npos || !hexNumberAt(range.substr(0, dash), &begin) ||
            !hexNumberAt(range.substr(dash + 1), &end) || end <= begin || permissions.size() < 3) {
            continue;
        }
        // The kernel lists mappings in address order; the game's lie below 4 GiB.
        if (begin >= kAddressSpaceEnd) break;
        mappings.push_back(
            {begin, std::min(end, kAddressSpaceEnd), protectionOfPermissions(permissions)});
    }
    return mappings;
}

std::vector<std::string> mappedFiles(const std::string& text) {
    std::vector<std::string> files;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        // Range, permissions, offset, device and inode, then the path, which may hold spaces.
        std::size_t at = 0;
        for (int field = 0; field < 5 && at != std::string::npos; ++field) {
            at = line.find_first_not_of(' ', at);
            at = at == std::string::npos ? at : line.find(' ', at);
        }
        at = at == std::string::npos ? at : line.find_first_not_of(' ', at);
        if (at == std::string::npos || line[at] != '/') continue;
        const std::string path = line.substr(at);
        if (std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
    }
    return files;
}

bool mapsHoldFileNamed(const std::string& text, const std::string& fileName) {
    for (const std::string& path : mappedFiles(text)) {
        if (sameFileName(fileNameOf(path), fileName)) return true;
    }
    return false;
}

HostRegion mappedRegion(const std::vector<Mapping>& mappings, HostAddress address) {
    const std::uint64_t page = address & ~(kPage - 1);
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        const Mapping& m = mappings[i];
        if (page < m.begin) {
            return {static_cast<HostAddress>(page), static_cast<std::uint32_t>(m.begin - page),
                    false, 0};
        }
        if (page >= m.end) continue;
        // Neighbours of the same protection are one region, as Windows reports them.
        std::uint64_t end = m.end;
        for (std::size_t j = i + 1; j < mappings.size() && mappings[j].begin == end &&
                                    mappings[j].protection == m.protection;
             ++j) {
            end = mappings[j].end;
        }
        const std::uint64_t size = std::min(end - page, kAddressSpaceEnd - kPage);
        return {static_cast<HostAddress>(page), static_cast<std::uint32_t>(size), true,
                m.protection};
    }
    const std::uint64_t end = kAddressSpaceEnd - (page == 0 ? kPage : 0);
    return {static_cast<HostAddress>(page), static_cast<std::uint32_t>(end - page), false, 0};
}

bool isWineLoader(const std::string& fileName) { return fileName.rfind("wine", 0) == 0; }

std::string windowsProgramOf(const std::string& cmdline, const std::string& executableName) {
    std::vector<std::string> arguments;
    for (std::size_t at = 0; at < cmdline.size();) {
        const std::size_t end = std::min(cmdline.find('\0', at), cmdline.size());
        arguments.push_back(cmdline.substr(at, end - at));
        at = end + 1;
    }
    if (arguments.empty()) return {};
    if (!isWineLoader(executableName)) {
        for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
            if (arguments[i].find('/') != std::string::npos && isWineLoader(fileNameOf(arguments[i]))) {
                return fileNameOf(arguments[i + 1]);
            }
        }
    }
    return fileNameOf(arguments[0]);
}

bool readWhereReadable(HostAddress address, unsigned char* out, std::uint32_t size,
                       MemoryReader read, std::string* why) {
    if (!hasAccess(address, size, Access::Readable)) {
        *why = "part of the game's memory could not be read";
        return false;
    }
    const long got = read(address, out, size);
    if (got != static_cast<long>(size)) {
        // A process that has ended has no memory left to read: nothing, or ESRCH.
        *why = got == 0 || (got < 0 && errno == ESRCH) ? "it has ended"
                                                       : "part of the game's memory could not be read";
        return false;
    }
    return true;
}

std::string memoryRefusal(int error, bool anotherUsersProcess, bool root,
                          const std::string& ptraceScope) {
    if (anotherUsersProcess && !root) {
        return "another user's process: run menupatch-check as that user, or with sudo";
    }
    // Yama's 3 holds root off too; 1 and 2 only other users.
    if (ptraceScope == "3") {
        return "Linux lets no process read another's memory here (kernel.yama.ptrace_scope is 3, "
               "which only a restart lifts)";
    }
    if (!root && (ptraceScope == "1" || ptraceScope == "2")) {
        return "Linux lets only root or the game's parent read its memory "
               "(kernel.yama.ptrace_scope is " +
               ptraceScope + "): run menupatch-check with sudo";
    }
    return std::string("its memory cannot be read (") + std::strerror(error) + ")";
}
