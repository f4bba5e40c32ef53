#pragma once

// Runnable game executables started under Wine's loader, one after another in
// one run of image_dump.exe, and what each left in its image as read back from
// the dump files that program writes.

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_memory.h"

struct DumpRegion {
    HostAddress base = 0;
    std::uint32_t size = 0;
    bool committed = false;
    std::uint32_t protection = 0;
    std::vector<unsigned char> bytes;  // empty when they could not be read
};

struct ImageDump {
    enum class Outcome { Loaded, NotStarted, Exited, TimedOut, Unreadable } outcome = Outcome::Unreadable;
    std::uint32_t code = 0;    // the error of a start that failed, or the exit code
    std::uint32_t module = 0;  // what LoadLibraryA returned
    std::vector<DumpRegion> regions;

    // The image's bytes from its base, -1 where a region had none.
    std::vector<int> bytes() const;
};

struct GameToDump {
    std::string executable;
    std::string dump;
};

// False when image_dump.exe itself failed; each game's outcome is in its dump.
bool dumpGames(const std::vector<GameToDump>& games, const std::string& listFile);

ImageDump readImageDump(const std::string& path);

const char* outcomeName(ImageDump::Outcome outcome);
