#pragma once

// The checker runs the plug-in's own code against a game it must not change.
// While a view is open, the host operations the plug-in calls are answered
// from a read-only source (an executable's image, or a running game): what the
// plug-in writes, and the protections it sets, stay in the checker's own copy;
// the game's two routines are played by stand-ins, the first of which makes the
// settings folder current and the second of which goes back.

#include <cstdint>
#include <string>
#include <vector>

#include "checker/read/game_source.h"
#include "host/host_memory.h"

struct RoutineCall {
    HostAddress routine;
    bool withText;
    std::string text;
};

// A run of bytes the plug-in wrote, as the source had them and as it left them.
struct WrittenRun {
    HostAddress address;
    std::vector<unsigned char> before;
    std::vector<unsigned char> after;
};

void openGameView(const GameSource& source, const std::string& settingsFolder);
void closeGameView();

// The bytes as the source has them; as the plug-in left them in the view.
bool readOriginal(HostAddress address, unsigned char* out, std::uint32_t size);
bool readViewed(HostAddress address, unsigned char* out, std::uint32_t size);

// Only runs that differ from the source: a byte written with what it held is no change.
std::vector<WrittenRun> writtenRuns();

// The values the plug-in read (read32), in the order it read them: what it
// decided from. Its other reads are of bytes it then writes.
const std::vector<HostAddress>& valuesRead();

// A 32-bit value from its four bytes in the game's (little-endian) order.
std::uint32_t littleEndian32(const unsigned char* bytes);
const std::vector<RoutineCall>& routineCalls();

// Why the dry run could not be completed, in words: a read of bytes the source
// says are there that it could not serve (a game that ended while being read),
// or a settings folder the stand-in could not enter. Empty when it was completed.
const std::string& viewProblem();
// The problem is a read that failed: nothing the check saw after it holds.
bool viewReadFailed();
// Where that read was: "4 bytes at 0x667BF0"; empty when none failed.
const std::string& viewReadPlace();

// Reads of bytes the source says are there, for the checker's own report; a
// failed one becomes the view's problem, so that no verdict is built on it.
bool readOriginalThere(HostAddress address, unsigned char* out, std::uint32_t size);
bool readViewedThere(HostAddress address, unsigned char* out, std::uint32_t size);
