// A game under Wine as Linux shows it: /proc/PID/maps read into the regions a
// Windows program would be told of, and Linux's refusals in words.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "checker/decide/game_view.h"
#include "checker/system/linux_process.h"
#include "host/page_access.h"

namespace {

// As the kernel writes it: neighbours of other permissions, a guard page Wine
// maps without any, a gap, a line that is no mapping, and mappings above 4 GiB.
const std::string kMaps =
    "00400000-00401000 r--p 00000000 08:01 1234 /games/game.exe\n"
    "00401000-0048d000 r-xp 00001000 08:01 1234 /games/game.exe\n"
    "0048d000-00498000 r-xp 00000000 00:00 0\n"
    "00498000-00499000 rw-p 00000000 00:00 0\n"
    "00499000-0049a000 ---p 00000000 00:00 0\n"
    "0049a000-0049b000 rwxp 00000000 00:00 0\n"
    "004a0000-004a1000 --xp 00000000 00:00 0\n"
    "not a mapping at all\n"
    "004b0000-004a0000 r--p 00000000 00:00 0\n"
    "004c0000-004c0000 r--p 00000000 00:00 0\n"
    "fffff000-100001000 r--p 00000000 00:00 0\n"
    "7ffd0000000-7ffd0001000 rw-p 00000000 00:00 0 [stack]\n";

// The files Wine maps into a game's process, from its maps: its executable,
// the DLLs it loaded (in whatever case their folder spells them), a name with
// spaces; not anonymous memory, nor the kernel's own names.
TEST(ProcessMaps, MappedFilesAndTheModuleByItsName) {
    const std::string maps =
        "00120000-00131000 r--s 00000000 fe:00 1107512                   /usr/lib/wine/apisetschema.dll\n"
        "00400000-00401000 r--p 00000000 fe:00 10953009                  /home/p/My Games/Game.exe\n"
        "0085f000-00866000 r--p 00056000 fe:00 10953009                  /home/p/My Games/Game.exe\n"
        "10000000-10001000 r--p 00000000 fe:00 10953012                  /home/p/My Games/MenuPatch.DLL\n"
        "20000000-20001000 rw-p 00000000 00:00 0\n"
        "30000000-30001000 r--p 00000000 fe:00 77                        /old/menupatch.dll (deleted)\n"
        "40000000-40001000 r--p 00000000 fe:00 78                        /menupatch.dll/inside.dll\n"
        "7ffd0000000-7ffd0001000 rw-p 00000000 00:00 0                   [stack]\n";
    EXPECT_EQ(mappedFiles(maps),
              (std::vector<std::string>{"/usr/lib/wine/apisetschema.dll", "/home/p/My Games/Game.exe",
                                        "/home/p/My Games/MenuPatch.DLL", "/old/menupatch.dll (deleted)",
                                        "/menupatch.dll/inside.dll"}));
    EXPECT_TRUE(mapsHoldFileNamed(maps, "menupatch.dll"));
    EXPECT_TRUE(mapsHoldFileNamed(maps, "game.EXE"));
    EXPECT_FALSE(mapsHoldFileNamed(maps, "inside"));
    const std::string withoutThePlugIn = maps.substr(0, maps.find("10000000-")) + maps.substr(maps.find("20000000-"));
    EXPECT_FALSE(mapsHoldFileNamed(withoutThePlugIn, "menupatch.dll"));
    EXPECT_TRUE(mappedFiles("").empty());
    EXPECT_TRUE(mappedFiles("00400000-00401000 r--p 00000000 fe:00 10953009\n").empty());
}

struct RegionCase {
    HostAddress address;
    HostRegion region;
};

TEST(ProcessMaps, RegionsAsVirtualQueryWouldGiveThem) {
    const std::vector<Mapping> mappings = parseMaps(kMaps);
    const RegionCase kCases[] = {
        {0x3FF123, {0x3FF000, 0x1000, false, 0}},                            // before the first
        {0x400FFF, {0x400000, 0x1000, true, PAGE_READONLY}},                 // not joined to the code after it
        {0x401000, {0x401000, 0x97000, true, PAGE_EXECUTE_READ}},            // two of one protection: one region
        {0x497FFF, {0x497000, 0x1000, true, PAGE_EXECUTE_READ}},
        {0x498000, {0x498000, 0x1000, true, PAGE_READWRITE}},
        {0x499800, {0x499000, 0x1000, true, PAGE_NOACCESS}},
        {0x49A000, {0x49A000, 0x1000, true, PAGE_EXECUTE_READWRITE}},
        {0x49B000, {0x49B000, 0x5000, false, 0}},                            // a gap, to the next mapping
        {0x4A0000, {0x4A0000, 0x1000, true, PAGE_EXECUTE}},
        {0x4A1000, {0x4A1000, 0xFFFFF000 - 0x4A1000, false, 0}},             // the bad line is passed over
        {0xFFFFF000, {0xFFFFF000, 0x1000, true, PAGE_READONLY}},             // cut at 4 GiB
    };
    for (const RegionCase& c : kCases) {
        const HostRegion region = mappedRegion(mappings, c.address);
        SCOPED_TRACE(testing::Message() << std::hex << "at 0x" << c.address);
        EXPECT_EQ(region.base, c.region.base);
        EXPECT_EQ(region.size, c.region.size);
        EXPECT_EQ(region.committed, c.region.committed);
        EXPECT_EQ(region.protection, c.region.protection);
    }
    EXPECT_EQ(mappings.size(), 8u);  // the line that is none, the backwards and empty ones and those above 4 GiB left out
}

TEST(ProcessMaps, PermissionsAsProtections) {
    const std::pair<const char*, std::uint32_t> kCases[] = {
        {"r--p", PAGE_READONLY},          {"rw-p", PAGE_READWRITE}, {"r-xp", PAGE_EXECUTE_READ},
        {"rwxp", PAGE_EXECUTE_READWRITE}, {"--xp", PAGE_EXECUTE},   {"-w-p", PAGE_READWRITE},
        {"---p", PAGE_NOACCESS},          {"r--s", PAGE_READONLY},
    };
    for (const auto& [permissions, protection] : kCases) {
        EXPECT_EQ(protectionOfPermissions(permissions), protection) << permissions;
    }
}

// /proc/PID/mem as it answers: every byte of any mapping, whatever its permissions.
int gReads = 0;
long anyPage(HostAddress, unsigned char* out, std::uint32_t size) {
    ++gReads;
    std::fill(out, out + size, 0x5A);
    return size;
}

// Every read is asked about in the maps first: one that runs from a readable
// page into one without permissions is refused, and /proc/PID/mem not read.
TEST(ProcessMaps, AReadIntoAPageWithoutPermissionsIsRefused) {
    const std::vector<Mapping> mappings = parseMaps(kMaps);
    const GameSource source = {[&mappings](HostAddress a) { return mappedRegion(mappings, a); },
                               [](HostAddress, unsigned char*, std::uint32_t) { return false; }};
    openGameView(source, {});
    struct ReadCase {
        HostAddress address;
        std::uint32_t size;
        bool read;
    };
    const ReadCase kReads[] = {
        {0x498000, 0x1000, true},    // the last byte in
        {0x498000, 0x1001, false},   // the first byte out
        {0x498FFC, 8, false},
        {0x400000, 0x98000, true},   // across three readable regions
        {0x49AFFC, 8, false},        // into a gap
        {0x4A0000, 4, false},        // run-only
        {0x3FFFFF, 2, false},        // from nothing into the image
    };
    for (const ReadCase& c : kReads) {
        std::vector<unsigned char> bytes(c.size);
        std::string why;
        gReads = 0;
        EXPECT_EQ(readWhereReadable(c.address, bytes.data(), c.size, anyPage, &why), c.read) << std::hex << c.address;
        EXPECT_EQ(gReads, c.read ? 1 : 0) << std::hex << c.address;
        EXPECT_EQ(why, c.read ? "" : "part of the game's memory could not be read");
    }
    closeGameView();
}

// A game that ends while it is read: /proc/PID/mem then gives nothing, or ESRCH.
TEST(ProcessMaps, AGameThatEndsDuringTheCheckHasEnded) {
    const std::vector<Mapping> mappings = parseMaps(kMaps);
    const GameSource source = {[&mappings](HostAddress a) { return mappedRegion(mappings, a); },
                               [](HostAddress, unsigned char*, std::uint32_t) { return false; }};
    openGameView(source, {});
    const MemoryReader kEnded[] = {
        [](HostAddress, unsigned char*, std::uint32_t) -> long { return 0; },
        [](HostAddress, unsigned char*, std::uint32_t) -> long { errno = ESRCH; return -1; },
    };
    for (const MemoryReader read : kEnded) {
        unsigned char bytes[4];
        std::string why;
        EXPECT_FALSE(readWhereReadable(0x400000, bytes, 4, read, &why));
        EXPECT_EQ(why, "it has ended");
    }
    // Not a whole read of a game still there: a part it could not read.
    std::string why;
    unsigned char bytes[4];
    EXPECT_FALSE(readWhereReadable(0x400000, bytes, 4, [](HostAddress, unsigned char*, std::uint32_t) -> long {
        errno = EIO;
        return 2;
    }, &why));
    EXPECT_EQ(why, "part of the game's memory could not be read");
    closeGameView();
}

struct RefusalCase {
    const char* name;
    int error;
    bool anotherUser;
    bool root;
    const char* scope;
    const char* words;
};

TEST(ProcessRefusals, TheCauseOfTheReadThatFailed) {
    const RefusalCase kCases[] = {
        {"AnotherUsers", EACCES, true, false, "1", "another user's process: run menupatch-check as that user"},
        {"AnotherUsers_Root", EACCES, true, true, "1", "its memory cannot be read (Permission denied)"},
        {"Yama_NotRoot", EPERM, false, false, "1", "kernel.yama.ptrace_scope is 1): run menupatch-check with sudo"},
        {"Yama2_NotRoot", EPERM, false, false, "2", "kernel.yama.ptrace_scope is 2)"},
        {"Yama_Root", EPERM, false, true, "1", "its memory cannot be read (Operation not permitted)"},
        {"Yama3_EvenRoot", EPERM, false, true, "3", "kernel.yama.ptrace_scope is 3, which only a restart lifts"},
        {"NoYama", EPERM, false, false, "", "its memory cannot be read (Operation not permitted)"},
        {"YamaOff", EIO, false, false, "0", "its memory cannot be read (Input/output error)"},
    };
    for (const RefusalCase& c : kCases) {
        const std::string words = memoryRefusal(c.error, c.anotherUser, c.root, c.scope);
        EXPECT_NE(words.find(c.words), std::string::npos) << c.name << ": " << words;
    }
}

struct ProgramCase {
    const char* name;
    std::vector<std::string> arguments;  // each ended by NUL, as the kernel writes them
    const char* executable;
    const char* program;
};

// Native Wine and Proton rewrite the command line to the program's Windows
// path; under an emulator the emulator's own stays, the program after Wine's loader.
const ProgramCase kProgramCases[] = {
    {"Wine", {"C:\\Games\\Korvan\\Game.exe", "-windowed"}, "wine", "Game.exe"},
    {"Proton", {"Z:\\home\\deck\\Game.exe"}, "wine64-preloader", "Game.exe"},
    {"ForwardSlashes", {"C:/Games/Game.exe"}, "wine-preloader", "Game.exe"},
    {"Qemu", {"/usr/bin/qemu-i386", "/usr/lib/wine/wine", "C:\\Games\\Game.exe", "-x"}, "qemu-i386", "Game.exe"},
    {"EmulatorWithOptions", {"FEXInterpreter", "-v", "/opt/wine/bin/wine64", "C:\\G\\Game.exe"}, "FEXInterpreter",
     "Game.exe"},
    // An argument of the game's that names a file called wine...
    {"GameArgumentNamedWine", {"C:\\Game.exe", "/tmp/wine.log", "x"}, "wine", "Game.exe"},
    // ...and an emulator whose command line names no Wine loader: its first argument.
    {"EmulatorWithoutWine", {"/usr/bin/qemu-i386", "/bin/true"}, "qemu-i386", "qemu-i386"},
    {"Empty", {}, "wine", ""},
};

std::string commandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) line += argument + '\0';
    return line;
}

class WindowsProgram : public testing::TestWithParam<ProgramCase> {};

TEST_P(WindowsProgram, FromTheCommandLine) {
    const ProgramCase& c = GetParam();
    EXPECT_EQ(windowsProgramOf(commandLine(c.arguments), c.executable), c.program);
}

INSTANTIATE_TEST_SUITE_P(Processes, WindowsProgram, testing::ValuesIn(kProgramCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
