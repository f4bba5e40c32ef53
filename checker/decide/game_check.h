#pragma once

// What the plug-in would do to a game's executable, from a dry run of its own
// attach sequence over the file's image; and whether what it does is in place
// in a running game. Every address, row and rule comes from the plug-in.

#include <cstdint>
#include <string>
#include <vector>

#include "checker/decide/game_view.h"
#include "checker/read/held_bytes.h"
#include "checker/read/pe_image.h"
#include "checker/find/virtual_store.h"
#include "plugin/host_check.h"

// "A", "B" or "C": the name of one of the plug-in's own build profiles.
const char* buildName(const HostProfile& build);

// The settings file as the plug-in would open it from the settings folder.
struct SettingsFile {
    std::string path;
    bool found = false;  // there, and a file
    std::uint64_t size = 0;
    bool hasFlagByte = false;
    unsigned char flagByte = 0;
};

SettingsFile settingsFileIn(const std::string& folder, const std::string& fileName);

// What a value the plug-in reads is to the game.
enum class ValueRead { SignatureProbe, PageSlot, FlagSourceSlot, FlagOperand };

// A value the plug-in decides from (or the operand it overwrites, whose old
// value the report shows) that the file does not hold as the running game
// will: left to run time, or in bytes that look encrypted or compressed, or
// (in code) in bytes that are not plain code.
struct HiddenValue {
    ValueRead what;
    HostAddress address;
    Held held;            // InFile: the file holds it, but packed
    std::string section;  // the section it lies in; empty: none
    Entropy entropy;      // the bytes around it, where the file holds them
    // In a section that runs: the bytes around it measured as code, and
    // whether they are not plain code (zeros, or substituted bytes).
    CodeMeasure code;
    bool notCode = false;
};

// Another executable in the same folder that the plug-in applies to, or
// whose file hides what it would read: likely the game, where a player
// checked its launcher.
struct BesideGame {
    std::string path;
    const HostProfile* build = nullptr;  // the build it applies as; null: cannot tell from its file
};

struct FileCheck {
    const HostProfile* build = nullptr;  // whose places were tried
    bool signature = false;              // build A's or B's signature was found
    HostCheck check = HostCheck::Fit;    // Fit: the plug-in applies
    bool slotsRead = false;
    HostAddress pageBase = 0;
    HostAddress flagAddress = 0;
    std::vector<unsigned char> rowsBefore;  // empty when they cannot be read
    std::vector<unsigned char> rowsAfter;
    bool operandRead = false;
    std::uint32_t operandBefore = 0;
    std::uint32_t operandAfter = 0;
    bool flagRead = false;
    unsigned char flagBefore = 0;
    unsigned char flagAfter = 0;
    std::vector<WrittenRun> changes;
    std::vector<RoutineCall> calls;
    SettingsChoice settingsChoice;  // which folder's korvan.set the game reads, and why
    SettingsFile settings;
    std::string shortcut;  // the shortcut followed to the executable; empty if none
    bool canMove = false;  // relocations and a dynamic base
    std::string problem;   // why the dry run could not be completed; empty when it was
    bool readFailed = false;  // the problem is a read of the game that failed
    // Not empty: the file does not hold what the plug-in will read, and no
    // verdict can be read from it.
    std::vector<HiddenValue> hidden;
    PackerSigns signs;
    // Where it is none of the builds, or cannot be told: the folder's other executables.
    bool besideLooked = false;
    std::vector<BesideGame> beside;
    std::size_t besideRead = 0;     // executables read to find them
    std::size_t besideNotRead = 0;  // more there than were read
};

FileCheck checkGameFile(const PeImage& image, const SettingsChoice& settings);
// The same over another source of the image's bytes (a test's, whose reads may fail).
FileCheck checkGameFile(const GameSource& source, const PeImage& image, const SettingsChoice& settings);

enum class Applied { Yes, No, Partly };

struct ProcessCheck {
    const HostProfile* build = nullptr;
    bool signature = false;
    HostCheck slots = HostCheck::Fit;  // Fit: both slots could be read
    HostAddress pageBase = 0;
    HostAddress flagAddress = 0;
    std::vector<unsigned char> rows;  // empty when they cannot be read
    int rowsInPlace = 0;              // of the nine, those that are the plug-in's
    bool operandRead = false;
    std::uint32_t operand = 0;
    Applied applied = Applied::No;
    bool failed = false;  // the game's memory could not be read
    std::string readPlace;  // where: "4 bytes at 0x667BF0"
};

ProcessCheck checkRunningGame(const GameSource& source);

// The plug-in's own nine rows, as it writes them.
const unsigned char* pluginRows();
