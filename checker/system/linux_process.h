#pragma once

// A game under Wine or Proton as Linux shows it, read the way a Windows
// program would ask: /proc/PID/maps as the regions VirtualQuery would report,
// and Linux's refusals in a player's words. Text in, answers out: what
// platform_linux.cpp reads from /proc, the tests write.

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_memory.h"

struct Mapping {
    std::uint64_t begin;
    std::uint64_t end;
    std::uint32_t protection;  // as a Windows program is told it
};

// What a Windows program would be told of a page with these permissions ("rwxp").
std::uint32_t protectionOfPermissions(const std::string& permissions);

// Every mapping below 4 GiB, in address order, from the text of /proc/PID/maps;
// a line that is not a mapping is passed over.
std::vector<Mapping> parseMaps(const std::string& text);

// The files mapped into the process, each once in the order of their first
// mapping, from the text of /proc/PID/maps: Wine maps a program's executable
// and the DLLs it loads from their files.
std::vector<std::string> mappedFiles(const std::string& text);

// Whether one of the mapped files has this file name, in any case (a DLL is
// loaded under whatever case its folder spells it).
bool mapsHoldFileNamed(const std::string& text, const std::string& fileName);

// As VirtualQuery answers: from the page asked about to the first page whose
// protection or state differs; outside every mapping, not committed.
HostRegion mappedRegion(const std::vector<Mapping>& mappings, HostAddress address);

// A read of the game's memory by `read` (of /proc/PID/mem, which reads pages
// the game itself may not), made only where every page of the range is
// readable as the regions say (queryRegion), as a Windows program is held to.
// `read` gives the bytes it read, or -1 with errno. False with why in words.
using MemoryReader = long (*)(HostAddress address, unsigned char* out, std::uint32_t size);
bool readWhereReadable(HostAddress address, unsigned char* out, std::uint32_t size,
                       MemoryReader read, std::string* why);

// Whether a file of this name is one of Wine's loaders (wine, wine64,
// wine-preloader, wine64-preloader).
bool isWineLoader(const std::string& fileName);

// The file name of the Windows program a Wine process runs, from its command
// line (/proc/PID/cmdline: arguments ended by NUL) and the file name of its
// executable (/proc/PID/exe). Wine leaves the program's Windows path as the
// first argument; under a user-mode emulator (QEMU, FEX, Box86) the command
// line stays the emulator's, and the program is the argument after Wine's loader.
std::string windowsProgramOf(const std::string& cmdline, const std::string& executableName);

// Why Linux refused to let us read a process's memory, from the error of the
// read that failed (errno) and what else decides it.
std::string memoryRefusal(int error, bool anotherUsersProcess, bool root,
                          const std::string& ptraceScope);
