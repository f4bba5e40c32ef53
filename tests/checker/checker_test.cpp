// menupatch-check natively, on game executables the tests write themselves.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/decide/game_check.h"
#include "checker/system/linux_process.h"
#include "text/text.h"
#include "substitute_host/game_executable.h"
#include "tests/support/checker_run.h"
#include "tests/support/expected_rows.h"
#include "tests/support/json_reader.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/shell_link_file.h"
#include "tests/support/temp_folder.h"

namespace {

// A settings file of `size` bytes, 0x11 but for the byte at 1466.
void writeSettings(const std::string& folder, std::size_t size, unsigned char flag) {
    std::vector<unsigned char> bytes(size, 0x11);
    if (size > 1466) bytes[1466] = flag;
    writeFile(folder + "/korvan.set", bytes);
}

GameSetup setupOf(const std::function<void(GameSetup&)>& change) {
    GameSetup setup;
    change(setup);
    return setup;
}

void onlyB(GameSetup& s) {
    s.signatureAtA = false;
    s.signatureAtB = true;
    s.build = kB;
}

void noSignature(GameSetup& s) {
    s.signatureAtA = false;
    s.build = kC;
}

struct FileCase {
    const char* name;
    GameSetup setup;
    ExecutableOptions options;
    int status;
    std::string firstLine;
    std::vector<std::string> facts;
};

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

// Build A's nine rows as the game has them.
std::vector<unsigned char> stockRows() {
    const std::vector<unsigned char> game = gameBytesOf(GameSetup{});
    const auto rows = game.begin() + (pageBaseOf(kA) + 968 - kGameBegin);
    return {rows, rows + 162};
}

const std::string kUntouchedRows =
    "the plug-in will leave this game untouched (the menu page is not writable game data).";
const std::string kUntouchedFlag =
    "the plug-in will leave this game untouched (the flag byte is not writable game data).";
const std::string kNotA = "Build A's signature, but not laid out as build A: ";

const FileCase kFileCases[] = {
    {"BuildA", {}, {}, 0, "Build A: the plug-in will apply.",
     {fact("build", quoted("A")), fact("signature", "true"), fact("applies", "true"), fact("check", quoted("fit"))}},
    {"BuildB", setupOf(onlyB), {}, 0, "Build B: the plug-in will apply.", {fact("build", quoted("B"))}},
    {"BuildC", setupOf(noSignature), {}, 0, "Build C: the plug-in will apply.",
     {fact("build", quoted("C")), fact("signature", "false"), fact("applies", "true")}},
    {"BothSignatures_A", setupOf([](GameSetup& s) { s.signatureAtB = true; }), {}, 0,
     "Build A: the plug-in will apply.", {fact("build", quoted("A"))}},
    {"SignatureUnreadable_C", setupOf([](GameSetup& s) { s.probeNoAccess = true; s.build = kC; }), {}, 0,
     "Build C: the plug-in will apply.", {fact("build", quoted("C"))}},
    {"CodeWritable", setupOf([](GameSetup& s) { s.codeWritable = true; }), {}, 0,
     "Build A: the plug-in will apply.", {fact("applies", "true")}},
    {"Relocatable", {}, {true, 0, ""}, 0, "Build A: the plug-in will apply.", {fact("relocatable", "true")}},
    {"NoBuild", setupOf([](GameSetup& s) { noSignature(s); s.overridePageBase = true; s.pageBase = 0; }), {}, 1,
     "Not laid out as any known build: " + kUntouchedRows,
     {fact("build", quoted("C")), fact("applies", "false"), fact("check", quoted("menu_rows"))}},
    // Not writable, but readable: the report shows the rows as the executable has them.
    {"RowsInReadOnlySection", setupOf([](GameSetup& s) { s.readOnlyPage = pageBaseOf(kA); }), {}, 1,
     kNotA + kUntouchedRows,
     {fact("applies", "false"), fact("check", quoted("menu_rows")), fact("rows_before", quoted(hexOf(stockRows())))}},
    {"RowsInCodeSection", setupOf([](GameSetup& s) { s.overridePageBase = true; s.pageBase = kCodeBase; }), {},
     1, kNotA + kUntouchedRows, {fact("check", quoted("menu_rows"))}},
    {"RowsCrossIntoReadOnlySection",
     setupOf([](GameSetup& s) {
         s.overridePageBase = true;
         s.pageBase = pageBaseOf(kB) - 968 - 80;
         s.readOnlyPage = pageBaseOf(kB);
     }),
     {}, 1, kNotA + kUntouchedRows, {fact("check", quoted("menu_rows"))}},
    {"FlagInReadOnlySection", setupOf([](GameSetup& s) { s.readOnlyPage = flagAddressOf(kA); }), {}, 1,
     kNotA + kUntouchedFlag, {fact("check", quoted("flag_byte"))}},
    {"FlagInCodeSection",
     setupOf([](GameSetup& s) { s.overrideFlagAddress = true; s.flagAddress = kCodeBase + 0x800; }), {}, 1,
     kNotA + kUntouchedFlag, {fact("check", quoted("flag_byte"))}},
    {"FlagOutsideTheExecutable",
     setupOf([](GameSetup& s) { s.overrideFlagAddress = true; s.flagAddress = 0x300000; }), {}, 1,
     kNotA + kUntouchedFlag, {fact("check", quoted("flag_byte"))}},
    {"RoutinesInData", setupOf([](GameSetup& s) { s.routinesNotExecutable = true; }), {}, 1,
     kNotA + "the plug-in will leave this game untouched (the routine that enters the settings folder is "
             "not code).",
     {fact("check", quoted("enter_settings_dir_routine"))}},
};

class CheckerOnFiles : public testing::TestWithParam<FileCase> {};

TEST_P(CheckerOnFiles, VerdictExitStatusAndFacts) {
    const FileCase& c = GetParam();
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(c.setup, c.options));
    writeSettings(temp.path, 2048, 0x01);

    const CheckerRun text = check({exe});
    EXPECT_EQ(text.status, c.status) << text.out << text.err;
    EXPECT_EQ(text.firstLine(), c.firstLine);
    EXPECT_EQ(text.err, "");
    EXPECT_EQ(text.says("Warning"), c.options.relocatable) << text.out;

    const CheckerRun json = check({"--json", exe});
    EXPECT_EQ(json.status, c.status);
    EXPECT_EQ(json.out.find('\n'), json.out.size() - 1) << "one JSON object, one line";
    for (const std::string& f : c.facts) EXPECT_TRUE(json.says(f)) << f << "\n" << json.out;

    // What the plug-in would change, where it applies; nothing where it does not.
    const HostProfile& b = c.setup.build;
    if (c.status == 0) {
        EXPECT_TRUE(json.says(fact("rows_after", quoted(hexOf(expectedRowBlock()))))) << json.out;
        EXPECT_TRUE(json.says(fact("operand_before", oldOperandOf(b))));
        EXPECT_TRUE(json.says(fact("operand_after", flagAddressOf(b))));
        EXPECT_TRUE(json.says(fact("flag_before", kGameFlag)));
        EXPECT_TRUE(json.says(fact("flag_after", 1)));
        EXPECT_TRUE(text.says("After\n   #  action  key       slot  page     x     y  align\n"
                              "   1       9  FED_TRA      0     4    40   153      1\n"));
    } else {
        EXPECT_TRUE(json.says(fact("changes", "[]")));
        EXPECT_TRUE(json.says(fact("calls", "[]")));
        EXPECT_TRUE(text.says("What to do"));
    }
}

INSTANTIATE_TEST_SUITE_P(GameFiles, CheckerOnFiles, testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The report's fields wrap at word breaks before column 97: a line of 96
// columns stays whole, one of 97 is broken at its space.
TEST(CheckerReport, FieldsWrapAfterColumn96) {
    for (const std::size_t columns : {96, 97}) {
        TempFolder temp;
        const std::string folder = std::string(20, 'a') + " " + std::string(columns - 13 - temp.path.size() - 31, 'b');
        const std::string exe = temp.make(folder) + "/game.exe";
        writeFile(exe, gameExecutable(GameSetup{}));

        const CheckerRun run = check({exe});

        const std::string whole = "Executable   " + exe + "\n";
        ASSERT_EQ(whole.size(), columns + 1);
        const std::string broken = "Executable   " + temp.path + "/" + std::string(20, 'a') + "\n             " +
                                   exe.substr(exe.find(' ') + 1) + "\n";
        EXPECT_TRUE(run.says(columns == 96 ? whole : broken)) << run.out;
    }
}

// Each place the plug-in writes, once, with its bytes before and after.
TEST(CheckerChanges, ListsEveryWriteOfTheDryRunAndTheRoutineCalls) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    writeSettings(temp.path, 2048, 0x73);

    const CheckerRun json = check({"--json", exe});

    const auto le32 = [](std::uint32_t v) {
        return hexOf({static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                      static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)});
    };
    const std::string changes =
        "[{\"address\": " + std::to_string(kA.flagDestSlot) + ", \"before\": " +
        quoted(le32(oldOperandOf(kA))) + ", \"after\": " + quoted(le32(flagAddressOf(kA))) + "}, " +
        "{\"address\": " + std::to_string(pageBaseOf(kA) + 968) + ", \"before\": " + quoted(hexOf(stockRows())) +
        ", \"after\": " + quoted(hexOf(expectedRowBlock())) + "}, " +
        "{\"address\": " + std::to_string(flagAddressOf(kA)) + ", \"before\": \"05\", \"after\": \"00\"}]";
    EXPECT_TRUE(json.says(fact("changes", changes))) << json.out;
    const std::string calls = "[{\"routine\": " + std::to_string(kA.enterSettingsDirRoutine) +
                              ", \"argument\": null}, {\"routine\": " + std::to_string(kA.setDirRoutine) +
                              ", \"argument\": \"\"}]";
    EXPECT_TRUE(json.says(fact("calls", calls))) << json.out;
}

// The changes list what the dry run changed, and only that: a flag byte the
// settings file does not reach, or that it sets to what the game has, is none.
TEST(CheckerChanges, OnlyBytesThatChange) {
    struct Case {
        const char* name;
        long fileSize;  // -1: no file
        unsigned char fileByte;
        unsigned char gameFlag;
        int flagAfter;  // -1: the flag byte is not among the changes
    };
    const Case kCases[] = {
        {"ShortFile", 1466, 0, kGameFlag, -1},
        {"ShortFile_Game73", 1466, 0, 0x73, 0x00},
        {"NoFile_Game73", -1, 0, 0x73, -1},
        {"FileByteAsTheGames", 2048, kGameFlag, kGameFlag, -1},
        {"FileByte01", 2048, 0x01, kGameFlag, 0x01},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        TempFolder temp;
        std::vector<unsigned char> game = gameBytesOf(GameSetup{});
        game[flagAddressOf(kA) - kGameBegin] = c.gameFlag;
        const std::string exe = temp.path + "/game.exe";
        writeFile(exe, gameExecutable(GameSetup{}, game));
        if (c.fileSize >= 0) writeSettings(temp.path, static_cast<std::size_t>(c.fileSize), c.fileByte);

        const CheckerRun json = check({"--json", exe});
        const CheckerRun text = check({exe});

        JsonValue report;
        ASSERT_TRUE(parseJson(json.out, &report)) << json.out;
        std::vector<std::string> addresses;
        for (const JsonValue& change : report["changes"].items) {
            addresses.push_back(change["address"].text);
            EXPECT_NE(change["before"].text, change["after"].text) << change["address"].text;
        }
        std::vector<std::string> expected = {std::to_string(kA.flagDestSlot), std::to_string(pageBaseOf(kA) + 968)};
        if (c.flagAfter >= 0) expected.push_back(std::to_string(flagAddressOf(kA)));
        EXPECT_EQ(addresses, expected) << json.out;
        const int after = c.flagAfter >= 0 ? c.flagAfter : c.gameFlag;
        EXPECT_EQ(report["flag_after"].text, std::to_string(after));
        EXPECT_TRUE(text.says(textf("Flag byte at 0x5A8000:    0x%02X -> 0x%02X (", c.gameFlag, after))) << text.out;
        // A file too short to reach the byte leaves the game's value, but for an 's', which counts as 0.
        EXPECT_EQ(text.says(", and 0x73 counts as 0)"), c.fileSize == 1466 && c.gameFlag == 0x73) << text.out;
    }
}

struct SettingsCase {
    const char* name;
    std::function<std::vector<std::string>(const TempFolder&)> arrange;  // returns extra arguments
    int status;
    std::vector<std::string> facts;
    std::string error;  // a part of the one line on stderr
};

void PrintTo(const SettingsCase& c, std::ostream* out) { *out << c.name; }

const SettingsCase kSettingsCases[] = {
    {"InTheExecutablesFolder", [](const TempFolder& t) { writeSettings(t.path, 2048, 0x01);
                                                         return std::vector<std::string>{}; },
     0, {fact("flag_after", 1), fact("flag_byte", 1), fact("found", "true")}, ""},
    {"Byte73CountsAs0", [](const TempFolder& t) { writeSettings(t.path, 2048, 0x73);
                                                  return std::vector<std::string>{}; },
     0, {fact("flag_after", 0), fact("flag_byte", 0x73)}, ""},
    {"ShortFile_GameValueStays", [](const TempFolder& t) { writeSettings(t.path, 1466, 0x01);
                                                           return std::vector<std::string>{}; },
     0, {fact("flag_after", kGameFlag), fact("flag_byte", "null"), fact("size", 1466)}, ""},
    {"NoFile_GameValueStays", [](const TempFolder&) { return std::vector<std::string>{}; },
     0, {fact("flag_after", kGameFlag), fact("found", "false")}, ""},
    {"SettingsFolderNamed", [](const TempFolder& t) { writeSettings(t.make("cfg"), 2048, 0xFF);
                                                      return std::vector<std::string>{"--settings", t.path + "/cfg"}; },
     0, {fact("flag_after", 0xFF)}, ""},
    {"SettingsFileNamed", [](const TempFolder& t) { writeSettings(t.make("cfg"), 2048, 0xFF);
                                                    return std::vector<std::string>{"--settings", t.path + "/cfg/korvan.set"}; },
     0, {fact("flag_after", 0xFF)}, ""},
    {"SettingsFileOfAnotherName", [](const TempFolder& t) { writeFile(t.path + "/other.set", {1, 2, 3});
                                                            return std::vector<std::string>{"--settings", t.path + "/other.set"}; },
     2, {}, "the plug-in reads korvan.set, not other.set"},
    {"SettingsNotThere", [](const TempFolder& t) { return std::vector<std::string>{"--settings", t.path + "/nowhere"}; },
     2, {}, "/nowhere: no such file or folder"},
};

class CheckerSettings : public testing::TestWithParam<SettingsCase> {};

TEST_P(CheckerSettings, FlagValueTheDryRunLoads) {
    const SettingsCase& c = GetParam();
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    std::vector<std::string> args = c.arrange(temp);
    args.insert(args.end(), {"--json", exe});

    const CheckerRun run = check(args);

    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& f : c.facts) EXPECT_TRUE(run.says(f)) << f << "\n" << run.out;
    if (c.status == 2) {
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, CheckerSettings, testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Damaged and foreign files: exit 2, one line on stderr naming the file and the reason.
struct DamagedCase {
    const char* name;
    std::function<std::vector<unsigned char>(std::vector<unsigned char>)> damage;
    std::string reason;
};

void PrintTo(const DamagedCase& c, std::ostream* out) { *out << c.name; }

std::vector<unsigned char> cut(std::vector<unsigned char> file, std::size_t size) {
    file.resize(size);
    return file;
}

std::function<std::vector<unsigned char>(std::vector<unsigned char>)> set32(std::size_t at, std::uint32_t value) {
    return [=](std::vector<unsigned char> file) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(value >> (8 * i));
        return file;
    };
}

std::function<std::vector<unsigned char>(std::vector<unsigned char>)> set16(std::size_t at, std::uint16_t value) {
    return [=](std::vector<unsigned char> file) {
        file[at] = static_cast<unsigned char>(value);
        file[at + 1] = static_cast<unsigned char>(value >> 8);
        return file;
    };
}

using Damage = std::function<std::vector<unsigned char>(std::vector<unsigned char>)>;

Damage both(Damage first, Damage second) {
    return [=](std::vector<unsigned char> file) { return second(first(std::move(file))); };
}

constexpr std::size_t kSection2 = kExeSectionTable + 40;
constexpr std::size_t kDataSection = kExeSectionTable + 2 * 40;  // the game's data, whose zeros are not in the file

const DamagedCase kDamagedCases[] = {
    {"Empty", [](auto) { return std::vector<unsigned char>{}; }, "the file is empty"},
    {"Text", [](auto) { const std::string t = "korvan.set 1466\r\n"; return std::vector<unsigned char>(t.begin(), t.end()); },
     "not a Windows executable"},
    {"DosProgram", set32(kExeNtHeader, 0x0000454E), "no PE header"},
    {"HalfAnMzHeader", set16(0, 'M' | 'X' << 8), "not a Windows executable (no MZ header)"},
    {"Amd64", set16(kExeNtHeader + 4, 0x8664), "a 64-bit executable"},
    {"Pe32Plus", set16(kExeOptionalHeader, 0x020B), "a 64-bit (PE32+) executable"},
    {"OtherProcessor", set16(kExeNtHeader + 4, 0x01C0), "another processor"},
    {"CutInDosHeader", [](auto f) { return cut(f, 40); }, "ends inside its DOS header"},
    // Each header's last byte in, and the file ending right after it.
    {"CutAtTheDosHeadersLastByte", [](auto f) { return cut(f, 63); }, "ends inside its DOS header"},
    {"CutAfterTheDosHeader", [](auto f) { return cut(f, 64); }, "ends before its PE header"},
    {"CutAtTheFileHeadersLastByte", [](auto f) { return cut(f, kExeOptionalHeader - 1); }, "ends inside its file header"},
    {"CutAfterTheFileHeader", [](auto f) { return cut(f, kExeOptionalHeader); }, "ends before its optional header"},
    {"CutAtTheOptionalHeadersLastByte", [](auto f) { return cut(f, kExeSectionTable - 1); },
     "ends inside its optional header"},
    {"CutAfterTheOptionalHeader", [](auto f) { return cut(f, kExeSectionTable); }, "sections runs past the end of the file"},
    {"CutBeforePeHeader", [](auto f) { return cut(f, kExeNtHeader + 2); }, "ends before its PE header"},
    {"CutInPeSignature", [](auto f) { return cut(f, kExeNtHeader + 3); }, "ends before its PE header"},
    {"CutAfterPeSignature", [](auto f) { return cut(f, kExeNtHeader + 4); }, "ends inside its file header"},
    {"CutInFileHeader", [](auto f) { return cut(f, kExeNtHeader + 10); }, "ends inside its file header"},
    {"CutInOptionalHeader", [](auto f) { return cut(f, kExeOptionalHeader + 100); }, "ends inside its optional header"},
    {"CutInSectionTable", [](auto f) { return cut(f, kExeSectionTable + 50); }, "runs past the end of the file"},
    {"CutInPaddedHeaders", [](auto f) { return cut(f, kExeHeadersSize - 1); }, "ends inside its headers"},
    // The loader reads whole sectors: a file cut inside its last one still loads.
    {"CutBeforeLastSector", [](auto f) { return cut(f, f.size() - 0x201); }, "past the end of the file"},
    {"NewHeaderFarAway", set32(0x3C, 0xFFFFFFF0), "ends before its PE header"},
    {"SectionTablePastEnd", set16(kExeNtHeader + 6, 0xFFFF), "runs past the end of the file"},
    {"OptionalHeaderTooSmall", set16(kExeNtHeader + 20, 20), "too small"},
    {"OverlappingSections", set32(kSection2 + 12, 0x1000), "overlaps"},
    {"HugeSection", set32(kSection2 + 8, 0xFFFFFFF0), "runs past the image's size"},
    {"RawDataPast4GiB", set32(kSection2 + 20, 0xFFFFFF00), "past the end of the file"},
    {"RawSizePast4GiB", set32(kDataSection + 16, 0xFFFFFE00), "past the end of the file"},
    {"GapInTheCode", set32(kSection2 + 8, 0xA000), "Windows would not start this executable: there is a gap"},
    {"GapAfterTheHeaders", set32(kExeSectionTable + 12, 0x2000), "a gap in its memory from 0x401000 to 0x402000"},
    {"SpaceAfterTheSections", set32(kExeOptionalHeader + 56, kGameEnd + 0x1000 - 0x400000),
     "its sections end at 0x668000, short of the image's end (0x669000)"},
    {"ImagePast4GiB", set32(kExeOptionalHeader + 56, 0xFFFF0000), "does not fit below 4 GiB"},
    // Rounded up to pages it ends at 4 GiB exactly: as large as the address space, kept in 32 bits it would be 0.
    {"ImageAsLargeAsTheAddressSpace", both(set32(kExeOptionalHeader + 28, 0), set32(kExeOptionalHeader + 56, 0xFFFFF001)),
     "its image (0xFFFFF001 bytes at 0x0) does not fit below 4 GiB"},
    {"OddAlignment", set32(kExeOptionalHeader + 32, 0x1234), "alignment"},
    // Below a page the file's alignment must be the sections'.
    {"LowSectionAlignmentOtherFileAlignment", set32(kExeOptionalHeader + 32, 0x800),
     "its section alignment is below a page but differs from its file alignment"},
    // The headers, rounded up to the sections' alignment, within SizeOfImage.
    {"HeadersLargerThanTheImage", both(set32(kExeOptionalHeader + 56, 0x1000), set32(kExeOptionalHeader + 60, 0x1001)),
     "its headers are larger than its image"},
    {"HeadersAsLargeAsTheImage", both(set32(kExeOptionalHeader + 56, 0x1000), set32(kExeOptionalHeader + 60, 0x1000)),
     "section 1 (.text) runs past the image's size (0x1000)"},
    {"ImageBaseUnaligned", set32(kExeOptionalHeader + 28, 0x401000), "64 KiB boundary"},
};

class CheckerDamagedFiles : public testing::TestWithParam<DamagedCase> {};

TEST_P(CheckerDamagedFiles, CannotTellAndSaysWhy) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, GetParam().damage(gameExecutable(GameSetup{})));

    const CheckerRun run = check({exe});

    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("menupatch-check: " + exe + ": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(GetParam().reason), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
}

INSTANTIATE_TEST_SUITE_P(Files, CheckerDamagedFiles, testing::ValuesIn(kDamagedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Cut anywhere in its headers or its first section's data, a game file never
// passes for one; it is "cannot tell" with a reason every time.
TEST(CheckerDamagedFiles, EveryCutOfTheHeadersCannotTell) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    const std::vector<unsigned char> whole = gameExecutable(GameSetup{});
    for (std::size_t size = 0; size < kExeHeadersSize + 0x200; ++size) {
        writeFile(exe, cut(whole, size));
        const CheckerRun run = check({exe});
        ASSERT_EQ(run.status, 2) << "cut at " << size;
        ASSERT_FALSE(run.err.empty()) << "cut at " << size;
    }
}

// An executable moves at load only with relocations and a dynamic base, and
// relocations not stripped: without any one of them the warning is not given.
TEST(CheckerOnFiles, MovableOnlyWithRelocationsAndADynamicBase) {
    constexpr std::size_t kRelocationSize = kExeOptionalHeader + 96 + 8 * kRelocationDirectory + 4;
    const std::vector<unsigned char> movable = gameExecutable(GameSetup{}, {true, 0, ""});
    // The relocation directory is read only where NumberOfRvaAndSizes and the
    // optional header's size both reach it: at their edge, and a step short.
    const auto directories = [](std::uint32_t count, std::uint16_t optionalSize) {
        ExeLayout layout = gameLayout(GameSetup{}, gameBytesOf(GameSetup{}), {true, 0, ""});
        layout.directoryCount = count;
        layout.optionalHeaderSize = optionalSize;
        return writeExecutable(layout);
    };
    constexpr std::uint16_t kThroughRelocations = 96 + 8 * (kRelocationDirectory + 1);
    const std::pair<const char*, std::vector<unsigned char>> kFiles[] = {
        {"all three", movable},
        {"no relocations", set32(kRelocationSize, 0)(movable)},
        {"no dynamic base", set16(kExeOptionalHeader + 70, 0)(movable)},
        {"relocations stripped", set16(kExeNtHeader + 22, 0x0103)(movable)},
        {"directories up to the relocations", directories(kRelocationDirectory + 1, kThroughRelocations)},
        {"one directory short of them", directories(kRelocationDirectory, kThroughRelocations)},
        {"an optional header a byte short of them", directories(16, kThroughRelocations - 1)},
    };
    for (const auto& [name, file] : kFiles) {
        TempFolder temp;
        writeFile(temp.path + "/game.exe", file);
        const CheckerRun run = check({"--json", temp.path + "/game.exe"});
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        const bool movable = name == std::string("all three") || name == std::string("directories up to the relocations");
        EXPECT_TRUE(run.says(fact("relocatable", movable ? "true" : "false"))) << name;
    }
}

struct ArgumentsCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string error;
};

void PrintTo(const ArgumentsCase& c, std::ostream* out) { *out << c.name; }

const ArgumentsCase kArgumentsCases[] = {
    {"TwoExecutables", {"a.exe", "b.exe"}, 2, "one executable at a time"},
    {"PidNotANumber", {"--pid", "game"}, 2, "--pid takes a process id"},
    {"PidZero", {"--pid", "0"}, 2, "--pid takes a process id"},
    {"PidWithoutValue", {"--pid"}, 2, "--pid needs a value"},
    {"ProcessWithoutValue", {"--process"}, 2, "--process needs a value"},
    {"SettingsWithoutValue", {"--settings"}, 2, "--settings needs a value"},
    {"ExecutableAndPid", {"a.exe", "--pid", "12"}, 2, "name one of"},
    {"SettingsWithPid", {"--settings", ".", "--pid", "12"}, 2, "--settings goes with an executable"},
    {"UnknownOption", {"--verbose", "a.exe"}, 2, "unknown option --verbose"},
    {"MissingFile", {"/nonexistent/game.exe"}, 2, "/nonexistent/game.exe: no such file"},
    {"Folder", {"/tmp"}, 2, "/tmp: a folder, not the game's executable"},
    {"Help", {"--help"}, 0, ""},
};

class CheckerArguments : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(CheckerArguments, ExitStatusAndOneLine) {
    const ArgumentsCase& c = GetParam();
    const CheckerRun run = check(c.args);
    EXPECT_EQ(run.status, c.status);
    if (c.status == 2) {
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
    } else {
        EXPECT_NE(run.out.find("usage: menupatch-check"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(CommandLine, CheckerArguments, testing::ValuesIn(kArgumentsCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Each spelling of each option --help lists does what it says; and --help
// lists no option without a row here.
TEST(CheckerArguments, EachSpellingTheHelpLists) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    writeSettings(temp.make("cfg"), 2048, 0x42);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;  // in what it prints, or in its one line on stderr
    };
    const Case kCases[] = {
        {{"--json", exe}, 0, "{\"file\": "},
        {{"--settings", temp.path + "/cfg", exe}, 0, "Flag byte at 0x5A8000:    0x05 -> 0x42"},
        {{"--settings", temp.path + "/cfg/korvan.set", "--json", exe}, 0, fact("flag_after", 0x42)},
        {{"--pid", std::to_string(getpid())}, 2, "not a Windows program running under Wine or Proton"},
        {{"--json", "--pid", std::to_string(getpid())}, 2, "not a Windows program running under Wine or Proton"},
        {{"--process", "no-such-game.exe"}, 2, "no-such-game.exe: no running process has that name"},
        {{"--json", "--process", "no-such-game.exe"}, 2, "no running process has that name"},
        {{"--help"}, 0, "usage: menupatch-check"},
        {{"-h"}, 0, "usage: menupatch-check"},
        {{"/?"}, 0, "usage: menupatch-check"},
        {{"--version"}, 0, "menupatch-check " MENUPATCH_VERSION "\n"},
    };
    std::string tried;
    for (const Case& c : kCases) {
        std::string line;
        for (const std::string& arg : c.args) line += arg + " ";
        SCOPED_TRACE(line);
        const CheckerRun run = check(c.args, {}, systemProcesses());
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
        tried += " " + line;
    }
    // One line, as command-line programs have it, whatever else is named.
    EXPECT_EQ(check({"--version"}).out, "menupatch-check " MENUPATCH_VERSION "\n");
    EXPECT_EQ(check({"--version", "--json", "game.exe"}).out, "menupatch-check " MENUPATCH_VERSION "\n");
    const std::string usage = check({"--help"}).out;
    std::string spelling;
    for (const char c : usage) {
        if (std::string(" []|(),\n").find(c) == std::string::npos) {
            spelling += c;
            continue;
        }
        const bool option = spelling.rfind("--", 0) == 0 || spelling == "-h" || spelling == "/?";
        if (option) {
            EXPECT_NE(tried.find(" " + spelling + " "), std::string::npos) << spelling << " is listed but not tried";
        }
        spelling.clear();
    }
}

// The running-game verdict, over images standing in for a game's memory.
struct RunningCase {
    const char* name;
    GameSetup setup;
    std::function<void(std::vector<unsigned char>&, const HostProfile&)> change;  // on the patched game
    bool patched;  // start from the game as the plug-in leaves it
    Applied applied;
    int rowsInPlace;
};

void PrintTo(const RunningCase& c, std::ostream* out) { *out << c.name; }

void nothing(std::vector<unsigned char>&, const HostProfile&) {}

const RunningCase kRunningCases[] = {
    {"Patched_A", {}, nothing, true, Applied::Yes, 9},
    {"Patched_B", setupOf(onlyB), nothing, true, Applied::Yes, 9},
    {"Patched_C", setupOf(noSignature), nothing, true, Applied::Yes, 9},
    {"NotPatched", {}, nothing, false, Applied::No, 0},
    {"OneRowByteChanged",
     {},
     [](std::vector<unsigned char>& game, const HostProfile& b) { game[pageBaseOf(b) + 968 + 40 - kGameBegin] ^= 0xFF; },
     true, Applied::Partly, 8},
    {"OperandPutBack",
     {},
     [](std::vector<unsigned char>& game, const HostProfile& b) {
         const std::uint32_t old = oldOperandOf(b);
         for (int i = 0; i < 4; ++i) game[b.flagDestSlot + i - kGameBegin] = static_cast<unsigned char>(old >> (8 * i));
     },
     true, Applied::Partly, 9},
    // Another patch that took the operand over, or a plug-in stopped half-way: not "not in place".
    {"OperandOnly",
     {},
     [](std::vector<unsigned char>& game, const HostProfile& b) {
         const std::uint32_t flag = flagAddressOf(b);
         for (int i = 0; i < 4; ++i) game[b.flagDestSlot + i - kGameBegin] = static_cast<unsigned char>(flag >> (8 * i));
     },
     false, Applied::Partly, 0},
    {"NoBuild", setupOf([](GameSetup& s) { noSignature(s); s.overridePageBase = true; s.pageBase = 0; }),
     nothing, false, Applied::No, 0},
};

class RunningGameVerdict : public testing::TestWithParam<RunningCase> {};

TEST_P(RunningGameVerdict, RowsAndOperandComparedWithThePlugins) {
    const RunningCase& c = GetParam();
    std::vector<unsigned char> game = gameBytesOf(c.setup);
    if (c.patched) {
        // The game as the plug-in's dry run leaves it.
        PeImage image;
        ASSERT_EQ(readPeImage(gameExecutable(c.setup, game), &image).problem, ImageProblem::None);
        TempFolder temp;
        const FileCheck dryRun = checkGameFile(image, settingsFolderAsIs(temp.path));
        ASSERT_EQ(dryRun.check, HostCheck::Fit);
        for (const WrittenRun& run : dryRun.changes) {
            std::copy(run.after.begin(), run.after.end(), game.begin() + (run.address - kGameBegin));
        }
    }
    c.change(game, c.setup.build);
    PeImage running;
    ASSERT_EQ(readPeImage(gameExecutable(c.setup, game), &running).problem, ImageProblem::None);
    const GameSource source = {
        [&running](HostAddress a) { return imageRegion(running, a); },
        [&running](HostAddress a, unsigned char* out, std::uint32_t n) { return readImage(running, a, out, n); }};

    const ProcessCheck verdict = checkRunningGame(source);
    FakeProcess process;
    process.pid = 4321;
    process.name = "game.exe";
    process.image = std::make_shared<PeImage>(running);
    const Processes processes = fakeProcesses(std::make_shared<std::vector<FakeProcess>>(1, process));
    const CheckerRun text = check({"--pid", "4321"}, {}, processes);
    const CheckerRun json = check({"--json", "--pid", "4321"}, {}, processes);

    EXPECT_EQ(verdict.applied, c.applied);
    EXPECT_EQ(verdict.rowsInPlace, c.rowsInPlace);
    EXPECT_FALSE(verdict.failed);
    // What a player and a script get: only a game with all of it in place is 0.
    const int status = c.applied == Applied::Yes ? 0 : 1;
    const char* word = c.applied == Applied::Yes ? "yes" : c.applied == Applied::No ? "no" : "partly";
    EXPECT_EQ(text.status, status) << text.out << text.err;
    EXPECT_EQ(json.status, status);
    JsonValue report;
    ASSERT_TRUE(parseJson(json.out, &report)) << json.out;
    EXPECT_EQ(report["applied"].text, word);
    EXPECT_EQ(report["rows_in_place"].text, std::to_string(c.rowsInPlace));
    EXPECT_EQ(report["pid"].text, "4321");
    EXPECT_EQ(report["signature"].text, indexOf(c.setup.build) == indexOf(kC) ? "false" : "true");
    // The hint that the DLL is missing goes only where nothing of it is there.
    EXPECT_EQ(text.says("Is menupatch.dll in the game's folder"), c.applied == Applied::No) << text.out;
}

INSTANTIATE_TEST_SUITE_P(Games, RunningGameVerdict, testing::ValuesIn(kRunningCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows gives a game without a UAC manifest the VirtualStore's copy of a file
// under Program Files; the checker makes the same choice, over roots the test
// names instead of the system's.
struct StoreCase {
    const char* name;
    std::string manifest;     // the game's; empty: none
    std::string root;         // the virtualised folder, under the test's own folder
    bool copy;                // the VirtualStore holds a korvan.set
    bool store;               // a VirtualStore root is known at all
    int flag;                 // what the dry run loads: 1 from the game's folder, 2 from the copy
    std::string source;
};

void PrintTo(const StoreCase& c, std::ostream* out) { *out << c.name; }

const std::string kAsInvoker =
    "<assembly><trustInfo><security><requestedPrivileges><requestedExecutionLevel level=\"asInvoker\"/>"
    "</requestedPrivileges></security></trustInfo></assembly>";
const std::string kCompatibilityOnly = "<assembly><compatibility><application/></compatibility></assembly>";

std::string utf16(const std::string& ascii) {
    std::string wide = "\xFF\xFE";
    for (char c : ascii) wide += {c, '\0'};
    return wide;
}

// A resource tree of one entry is 88 bytes before its data: a manifest of
// 4096 - 88 bytes ends with the last byte of its section, and of the image.
std::string endingAtThePage(const std::string& manifest) { return std::string(4096 - 88 - manifest.size(), ' ') + manifest; }

const StoreCase kStoreCases[] = {
    {"ManifestEndingWithItsSection_ReadsItsFolder", endingAtThePage(kAsInvoker), "Program Files", true, true, 1,
     "folder_not_virtualised"},
    {"NoManifest_ReadsTheCopy", "", "Program Files", true, true, 2, "virtual_store"},
    {"ManifestWithoutLevel_ReadsTheCopy", kCompatibilityOnly, "Program Files", true, true, 2, "virtual_store"},
    {"ManifestWithLevel_ReadsItsFolder", kAsInvoker, "Program Files", true, true, 1, "folder_not_virtualised"},
    {"Utf16ManifestWithLevel_ReadsItsFolder", utf16(kAsInvoker), "Program Files", true, true, 1,
     "folder_not_virtualised"},
    {"NoCopy_ReadsItsFolder", "", "Program Files", false, true, 1, "folder"},
    {"RootInOtherCase_ReadsTheCopy", "", "PROGRAM files", true, true, 2, "virtual_store"},
    {"FolderBesideTheRoot_ReadsItsFolder", "", "Program", true, true, 1, "folder"},
    {"NoVirtualStore_ReadsItsFolder", "", "Program Files", true, false, 1, "folder"},
};

class CheckerVirtualStore : public testing::TestWithParam<StoreCase> {};

TEST_P(CheckerVirtualStore, ReadsTheFileTheGameWouldRead) {
    const StoreCase& c = GetParam();
    TempFolder temp;
    const std::string folder = temp.make("Program Files/Game");
    const std::string exe = folder + "/game.exe";
    ExecutableOptions options;
    options.manifest = c.manifest;
    writeFile(exe, gameExecutable(GameSetup{}, options));
    writeSettings(folder, 2048, 0x01);
    const std::string storeRoot = temp.make("VirtualStore");
    const std::string copyFolder = storeRoot + folder;  // the whole path but its root
    if (c.copy) writeSettings(temp.make("VirtualStore" + folder), 2048, 0x02);
    VirtualStore store;
    store.virtualisedFolders = {"/nowhere", temp.path + "/" + c.root};
    if (c.store) store.root = storeRoot;

    const CheckerRun json = check({"--json", exe}, store);
    const CheckerRun text = check({exe}, store);

    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(json.says(fact("flag_after", c.flag))) << json.out;
    EXPECT_TRUE(json.says(fact("source", quoted(c.source)))) << json.out;
    const std::string copy = copyFolder + "/korvan.set";
    EXPECT_TRUE(json.says(fact("virtual_store_copy", c.source == "folder" ? "null" : quoted(copy)))) << json.out;
    EXPECT_EQ(text.says("VirtualStore"), c.source != "folder") << text.out;
    if (c.source == "virtual_store") {
        EXPECT_TRUE(text.says("byte 1466 of " + copy + " is 0x02")) << text.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, CheckerVirtualStore, testing::ValuesIn(kStoreCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows compares the folders without case, either slash a separator, a
// trailing one left out.
TEST(CheckerVirtualStore, RootsAsWindowsWritesThem) {
    TempFolder temp;
    const std::string folder = temp.make("Program Files/Game");
    writeFile(folder + "/game.exe", gameExecutable(GameSetup{}));
    writeSettings(folder, 2048, 0x01);
    const std::string storeRoot = temp.make("VirtualStore");
    writeSettings(temp.make("VirtualStore" + folder), 2048, 0x02);
    std::string backslashed = temp.path + "/PROGRAM FILES";
    for (char& c : backslashed) c = c == '/' ? '\\' : c;
    for (const std::string& root : {backslashed, temp.path + "/Program Files/", temp.path + "/Program Files//"}) {
        VirtualStore store;
        store.virtualisedFolders = {root};
        store.root = storeRoot;
        const CheckerRun run = check({"--json", folder + "/game.exe"}, store);
        EXPECT_TRUE(run.says(fact("source", quoted("virtual_store")))) << root << "\n" << run.out;
        EXPECT_TRUE(run.says(fact("flag_after", 2))) << root;
    }
}

// A manifest is found through the resource tree only where every offset of it
// holds; a tree pointing anywhere else is no manifest, and nothing is read outside.
// The resource directory need only hold the tree: one that ends with the last
// field of its data entry (the manifest's bytes after it) still gives the
// manifest, and one a byte shorter does not.
TEST(ExecutableManifest, FoundWhenTheTreeEndsTheDirectory) {
    ExecutableOptions options;
    options.manifest = kAsInvoker;
    constexpr std::size_t kResourceSize = kExeOptionalHeader + 96 + 8 * kResourceDirectory + 4;
    constexpr std::uint32_t kTreeWithDataEntry = 3 * (16 + 8) + 8;  // three tables, the entry's address and size
    for (const std::uint32_t size : {kTreeWithDataEntry, kTreeWithDataEntry - 1}) {
        const std::vector<unsigned char> file = set32(kResourceSize, size)(gameExecutable(GameSetup{}, options));
        PeImage image;
        ASSERT_EQ(readPeImage(file, &image).problem, ImageProblem::None);
        EXPECT_EQ(imageManifest(image), size == kTreeWithDataEntry ? kAsInvoker : "") << size;
    }
}

TEST(ExecutableManifest, FoundWhereTheTreeHoldsAndOnlyThere) {
    ExecutableOptions options;
    options.manifest = kAsInvoker;
    const std::vector<unsigned char> whole = gameExecutable(GameSetup{}, options);
    PeImage image;
    ASSERT_EQ(readPeImage(whole, &image).problem, ImageProblem::None);
    EXPECT_EQ(imageManifest(image), kAsInvoker);
    EXPECT_TRUE(manifestRequestsExecutionLevel(imageManifest(image)));

    const std::uint32_t tree = image.resourcesAt;
    const ImageSection* section = sectionAt(image, image.imageBase + tree);
    ASSERT_NE(section, nullptr);
    const std::uint32_t treeInFile = section->rawOffset;
    for (std::uint32_t at = 0; at < 88; ++at) {
        std::vector<unsigned char> damaged = whole;
        for (int i = 0; i < 4 && at + i < 88; ++i) damaged[treeInFile + at + i] = 0xFF;
        ASSERT_EQ(readPeImage(damaged, &image).problem, ImageProblem::None);
        const std::string manifest = imageManifest(image);
        EXPECT_TRUE(manifest.empty() || manifest.size() <= 1u << 20) << "damaged at " << at;
    }
}

// Wine opens korvan.set whatever the case of its name; a Linux folder may
// spell it otherwise, or hold two spellings, of which Wine opens either.
TEST(CheckerSettings, NameInAnotherCaseAsWineFindsIt) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    writeFile(temp.path + "/KORVAN.SET", std::vector<unsigned char>(2048, 0x02));

    const CheckerRun one = check({"--json", exe});
    writeFile(temp.path + "/Korvan.set", std::vector<unsigned char>(2048, 0x03));
    const CheckerRun two = check({exe});

    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_TRUE(one.says(fact("flag_after", 2))) << one.out;
    EXPECT_TRUE(one.says(fact("file", quoted(temp.path + "/KORVAN.SET")))) << one.out;
    EXPECT_EQ(two.status, 2);
    EXPECT_EQ(two.err, "menupatch-check: " + temp.path + ": 2 files named korvan.set but for case (KORVAN.SET, "
                       "Korvan.set): the game under Wine opens whichever the folder lists first; keep one of them\n");
}

// --settings names the file in another case than the folder spells it: the
// game opens it all the same, and so does the checker.
TEST(CheckerSettings, NamedInAnotherCaseThanTheFolderSpellsIt) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    writeFile(temp.make("up") + "/KORVAN.SET", std::vector<unsigned char>(2048, 0x02));

    const CheckerRun run = check({"--json", "--settings", temp.path + "/up/korvan.set", exe});
    const CheckerRun missing = check({"--settings", temp.path + "/up/other/korvan.set", exe});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.says(fact("flag_after", 2))) << run.out;
    EXPECT_TRUE(run.says(fact("file", quoted(temp.path + "/up/KORVAN.SET")))) << run.out;
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "menupatch-check: " + temp.path + "/up/other/korvan.set: no such file or folder\n");
}

// What is not a file where a file is read: the executable named, the one a
// shortcut names, korvan.set beside it or named with --settings. The checker
// says what it is, and never opens it: a named pipe would keep it waiting for
// ever, as the game's own read would, and a device would never end.
TEST(CheckerReasons, WhatIsNotAFileIsNeverOpened) {
    struct Kind {
        const char* name;
        std::function<void(const std::string&)> make;
        std::string words;
    };
    const Kind kKinds[] = {
        {"Fifo", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, "a named pipe (FIFO)"},
        {"Socket",
         [](const std::string& path) {
             const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address = {};
             address.sun_family = AF_UNIX;
             ASSERT_LT(path.size(), sizeof address.sun_path);
             std::copy(path.begin(), path.end(), address.sun_path);
             ASSERT_EQ(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             close(listening);
         },
         "a socket"},
        {"Device", [](const std::string& path) { std::filesystem::create_symlink("/dev/null", path); }, "a device"},
    };
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        TempFolder temp;
        const std::string exe = temp.path + "/game.exe";
        writeFile(exe, gameExecutable(GameSetup{}));
        kind.make(temp.path + "/odd.exe");
        kind.make(temp.make("cfg") + "/korvan.set");
        kind.make(temp.make("beside") + "/korvan.set");
        writeFile(temp.path + "/beside/game.exe", gameExecutable(GameSetup{}));
        ShellLinkParts link;
        link.unicodePath = "Z:" + temp.path + "/odd.exe";
        const std::string shortcut = temp.make("prefix") + "/odd.lnk";
        temp.make("prefix/dosdevices");
        std::filesystem::create_directory_symlink("/", temp.path + "/prefix/dosdevices/z:");
        writeFile(shortcut, shellLinkFile(link));
        const std::string notSettings =
            ", not a settings file: what the game reads from it is not known before it runs\n";

        const CheckerRun game = check({temp.path + "/odd.exe"});
        const CheckerRun followed = check({shortcut});
        const CheckerRun named = check({"--settings", temp.path + "/cfg/korvan.set", exe});
        const CheckerRun folder = check({"--settings", temp.path + "/cfg", exe});
        const CheckerRun besideIt = check({temp.path + "/beside/game.exe"});

        for (const CheckerRun* run : {&game, &followed, &named, &folder, &besideIt}) {
            EXPECT_EQ(run->status, 2);
            EXPECT_EQ(run->out, "");
        }
        EXPECT_EQ(game.err, "menupatch-check: " + temp.path + "/odd.exe: " + kind.words + ", not the game's executable\n");
        EXPECT_EQ(followed.err, "menupatch-check: " + shortcut + " -> " + temp.path + "/odd.exe: " + kind.words +
                                    ", not the game's executable\n");
        EXPECT_EQ(named.err, "menupatch-check: " + temp.path + "/cfg/korvan.set: " + kind.words + notSettings);
        EXPECT_EQ(folder.err, named.err);
        EXPECT_EQ(besideIt.err, "menupatch-check: " + temp.path + "/beside/korvan.set: " + kind.words + notSettings);
    }
    // A folder where the executable should be is no executable; one named
    // korvan.set is no settings file, which the game does not find either.
    TempFolder temp;
    writeFile(temp.path + "/game.exe", gameExecutable(GameSetup{}));
    temp.make("korvan.set");
    const CheckerRun folderAsGame = check({temp.make("game-folder.exe")});
    const CheckerRun folderAsSettings = check({"--json", temp.path + "/game.exe"});
    EXPECT_EQ(folderAsGame.err, "menupatch-check: " + temp.path + "/game-folder.exe: a folder, not the game's executable\n");
    EXPECT_EQ(folderAsSettings.status, 0) << folderAsSettings.err;
    EXPECT_TRUE(folderAsSettings.says(fact("found", "false"))) << folderAsSettings.out;
    EXPECT_TRUE(folderAsSettings.says(fact("flag_after", kGameFlag))) << folderAsSettings.out;
}

// Names go into the text report and onto standard error as one line each,
// whatever they hold; the JSON keeps them whole.
TEST(CheckerReport, NamesStayOnTheirLine) {
    TempFolder temp;
    const std::string folder = temp.make("new\nline \x1B[31mred caf\xE9");
    writeFile(folder + "/game.exe", gameExecutable(GameSetup{}));

    const CheckerRun text = check({folder + "/game.exe"});
    const CheckerRun missing = check({folder + "/none.exe"});

    const std::string shown = temp.path + "/new\\nline \\x1B[31mred caf\\xE9";
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Executable   " + shown + "/game.exe\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("no korvan.set in " + shown + ":"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find('\x1B'), std::string::npos);
    EXPECT_EQ(missing.err, "menupatch-check: " + shown + "/none.exe: no such file\n");
}

// Names that are korvan.set but for one character, or that are not text, are
// not it; the one that is, in another case, is found beside them.
TEST(CheckerSettings, OnlyTheWholeNameInAnotherCase) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    for (const char* near : {"korvan.sex", "KORVAN.SE", "korvan.set.bak", "\xFForvan.set", "korvan.se\xFF"}) {
        writeFile(temp.path + "/" + near, std::vector<unsigned char>(2048, 0x07));
    }

    const CheckerRun none = check({"--json", exe});
    writeFile(temp.path + "/Korvan.Set", std::vector<unsigned char>(2048, 0x02));
    const CheckerRun other = check({"--json", exe});

    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_TRUE(none.says(fact("found", "false"))) << none.out;
    EXPECT_TRUE(none.says(fact("flag_after", kGameFlag))) << none.out;
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_TRUE(other.says(fact("flag_after", 2))) << other.out;
}

// Whatever a path holds (Linux allows any byte but / and NUL), the JSON parses
// and gives the path back: quotes, backslashes, control characters, text that
// ends in a character of several bytes; bytes that are not text as U+FFFD.
TEST(CheckerJson, StaysJsonWhateverThePathHolds) {
    const std::pair<std::string, std::string> kFolders[] = {
        {"say \"hi\"", "say \"hi\""},
        {"back\\slash\\", "back\\slash\\"},
        {"tab\there\x01\x1F\x7F", "tab\there\x01\x1F\x7F"},
        {"ends in é", "ends in é"},
        {"ends in 🎮", "ends in 🎮"},
        {"cut \xF0\x9F\x8E", "cut \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"latin-1 caf\xE9", "latin-1 caf\xEF\xBF\xBD"},
    };
    for (const auto& [folder, shown] : kFolders) {
        SCOPED_TRACE(folder);
        TempFolder temp;
        const std::string exe = temp.make(folder) + "/game.exe";
        writeFile(exe, gameExecutable(GameSetup{}));

        const CheckerRun run = check({"--json", exe});

        JsonValue report;
        ASSERT_TRUE(parseJson(run.out, &report)) << run.out;
        EXPECT_EQ(report["file"].text, temp.path + "/" + shown + "/game.exe");
        EXPECT_EQ(report["settings"]["file"].text, temp.path + "/" + shown + "/korvan.set");
        EXPECT_EQ(report["applies"].text, "true");
    }
}

std::string readFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The checker over this machine's own processes, as the Linux checker runs.
CheckerRun checkLinux(const std::vector<std::string>& args) { return check(args, {}, systemProcesses()); }

// A process that Linux takes for a Windows program under Wine: a program whose
// file name begins with "wine", started with the Windows program as its first
// argument, as Wine's loader is.
struct WineStandIn {
    pid_t pid = 0;
    // `preload`: files the stand-in maps as Wine maps the program and its DLLs
    // (shared libraries under those names, through LD_PRELOAD).
    WineStandIn(const TempFolder& temp, const std::string& windowsProgram, const std::string& loaderName = "wine-stand-in",
                const std::string& preload = "") {
        const std::string loader = temp.path + "/" + loaderName;
        std::filesystem::copy_file("/bin/sleep", loader);
        const std::string seconds = "60";
        char* const argv[] = {const_cast<char*>(windowsProgram.c_str()), const_cast<char*>(seconds.c_str()), nullptr};
        std::string preloadVariable = "LD_PRELOAD=" + preload;
        char* const withPreload[] = {&preloadVariable[0], nullptr};
        if (posix_spawn(&pid, loader.c_str(), nullptr, nullptr, argv, preload.empty() ? environ : withPreload) != 0) {
            pid = 0;
            return;
        }
        // The kernel lets the parent go on before it has set the new program's command line.
        for (int i = 0; i < 200 && commandLine().rfind(windowsProgram, 0) != 0; ++i) usleep(5000);
    }
    std::string commandLine() const {
        std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    ~WineStandIn() {
        if (pid == 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
};

TEST(CheckerOnLinuxProcesses, FindsAWineProgramByNameInAnyCaseAndScript) {
    TempFolder temp;
    WineStandIn game(temp, "C:\\Игры\\Игра.exe");
    ASSERT_NE(game.pid, 0);

    // It is none of the builds, so "not in place", by its whole name in any case.
    for (const char* name : {"игра.exe", "ИГРА.EXE", "Игра.exe"}) {
        const CheckerRun run = checkLinux({"--json", "--process", name});
        EXPECT_EQ(run.status, 1) << name << ": " << run.err;
        JsonValue report;
        ASSERT_TRUE(parseJson(run.out, &report)) << run.out;
        EXPECT_EQ(report["pid"].text, std::to_string(game.pid)) << name;
        EXPECT_EQ(report["process"].text, "Игра.exe") << name;
        EXPECT_EQ(report["applied"].text, "no");
    }
    EXPECT_EQ(checkLinux({"--process", "игра.ex"}).err, "menupatch-check: игра.ex: no running process has that name\n");

    // Two of one name: which one is for the player to say.
    WineStandIn second(temp, "D:\\игра.exe", "wine-second");
    ASSERT_NE(second.pid, 0);
    const CheckerRun two = checkLinux({"--process", "ИГРА.exe"});
    EXPECT_EQ(two.status, 2);
    EXPECT_EQ(two.out, "");
    EXPECT_EQ(two.err, "menupatch-check: ИГРА.exe: 2 running processes have that name (pids " +
                           std::to_string(std::min(game.pid, second.pid)) + ", " +
                           std::to_string(std::max(game.pid, second.pid)) + "); choose one with --pid\n");
}

// With nothing named, the Linux checker finds a Wine program that has loaded
// menupatch.dll (build C has no signature); and it tells the file a Wine
// program runs from another of the same name.
TEST(CheckerOnLinuxProcesses, FindsTheGameByThePlugInItLoadedAndTheFileItRuns) {
    TempFolder temp;
    const std::string library = "/lib/x86_64-linux-gnu/libdl.so.2";
    const std::string program = temp.path + "/Game.EXE";
    std::filesystem::copy_file(library, temp.path + "/MenuPatch.dll");
    std::filesystem::copy_file("/lib/x86_64-linux-gnu/libutil.so.1", program);
    WineStandIn game(temp, "C:\\Games\\Game.EXE", "wine-stand-in", temp.path + "/MenuPatch.dll:" + program);
    ASSERT_NE(game.pid, 0);
    // The loader maps them before the program runs, soon after the command line is set.
    for (int i = 0; i < 200 && !mapsHoldFileNamed(readFileText("/proc/" + std::to_string(game.pid) + "/maps"),
                                                   "game.exe"); ++i) {
        usleep(5000);
    }

    const CheckerRun found = checkLinux({"--json"});
    JsonValue report;
    ASSERT_TRUE(parseJson(found.out, &report)) << found.out << found.err;
    const auto ours = std::find_if(report["games"].items.begin(), report["games"].items.end(),
                                   [&](const JsonValue& g) { return g["pid"].text == std::to_string(game.pid); });
    ASSERT_NE(ours, report["games"].items.end()) << found.out;
    EXPECT_EQ((*ours)["process"].text, "Game.EXE");
    EXPECT_EQ((*ours)["plugin_loaded"].text, "true");
    // None of the builds' places are there: the plug-in leaves it untouched.
    EXPECT_EQ((*ours)["applied"].text, "no");

    // The same file under another name (a hard link) is the same file; a copy is not.
    const std::string link = temp.make("link") + "/game.exe";
    const std::string copy = temp.make("copy") + "/Game.EXE";
    std::filesystem::create_hard_link(program, link);
    std::filesystem::copy_file(program, copy);
    GameSource source;
    std::string name;
    std::string why;
    ASSERT_TRUE(openGameProcess(game.pid, &source, &name, &why)) << why;
    EXPECT_TRUE(openProcessHasPlugin());
    EXPECT_TRUE(openProcessRuns(program));
    EXPECT_TRUE(openProcessRuns(link));
    EXPECT_FALSE(openProcessRuns(copy));
    EXPECT_FALSE(openProcessRuns(temp.path + "/none.exe"));
    closeGameProcess();
}

// The checker as a player who is not root runs it: as root the test's locked
// folders would open. Its run, in a child process that is "nobody".
CheckerRun checkAsPlayer(const std::vector<std::string>& args) {
    if (geteuid() != 0) return checkLinux(args);
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        constexpr uid_t kNobody = 65534;
        CheckerRun run;
        if (setgid(kNobody) == 0 && setuid(kNobody) == 0) run = checkLinux(args);
        const std::string message = std::to_string(run.status) + "\n" + run.err + "\n" + run.out;
        const bool written = write(channel[1], message.data(), message.size()) == static_cast<ssize_t>(message.size());
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    std::string message;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<std::size_t>(n));
    close(channel[0]);
    waitpid(child, nullptr, 0);
    CheckerRun run;
    const std::size_t status = message.find('\n');
    const std::size_t err = message.find('\n', status + 1);
    if (status == std::string::npos || err == std::string::npos) return run;
    run.status = std::stoi(message.substr(0, status));
    run.err = message.substr(status + 1, err - status - 1);
    run.out = message.substr(err + 1);
    return run;
}

// A Wine program of another user: Linux shows its command line but not what it
// runs nor its memory, so a player who is not root is told to run the checker
// as that user, by pid and by name alike.
TEST(CheckerOnLinuxProcesses, AnotherUsersGameSaysWhoMayReadIt) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a process of another user: run as root";
    TempFolder temp;
    std::filesystem::permissions(temp.path, std::filesystem::perms::all);
    WineStandIn game(temp, "C:\\Games\\Korvan.exe");
    ASSERT_NE(game.pid, 0);
    const std::string pid = std::to_string(game.pid);

    const CheckerRun byPid = checkAsPlayer({"--pid", pid});
    const CheckerRun byName = checkAsPlayer({"--process", "korvan.exe"});

    const std::string words = ": another user's process: run menupatch-check as that user, or with sudo";
    EXPECT_EQ(byPid.status, 2);
    EXPECT_EQ(byPid.err, "menupatch-check: process " + pid + words);
    EXPECT_EQ(byName.status, 2);
    EXPECT_EQ(byName.err, "menupatch-check: process " + pid + words);
}

// Each reason the checker cannot tell is its own, in words.
TEST(CheckerReasons, EachFailureSaysItsOwnCause) {
    TempFolder temp;
    std::filesystem::permissions(temp.path, std::filesystem::perms::all);
    writeFile(temp.make("locked") + "/game.exe", gameExecutable(GameSetup{}));
    std::filesystem::permissions(temp.path + "/locked", std::filesystem::perms::none);
    std::filesystem::create_symlink("loop-b", temp.path + "/loop-a");
    std::filesystem::create_symlink("loop-a", temp.path + "/loop-b");
    writeFile(temp.path + "/game.exe", gameExecutable(GameSetup{}));
    std::filesystem::permissions(temp.path + "/game.exe", std::filesystem::perms::owner_all |
                                                              std::filesystem::perms::others_read);
    writeSettings(temp.make("shut"), 2048, 0x01);
    std::filesystem::permissions(temp.path + "/shut", std::filesystem::perms::none);

    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string error;
    };
    const Case kCases[] = {
        {"FolderTheUserMayNotEnter", {temp.path + "/locked/game.exe"},
         temp.path + "/locked/game.exe: access denied"},
        {"SymbolicLinkLoop", {temp.path + "/loop-a"}, temp.path + "/loop-a: a loop of symbolic links"},
        {"NoSuchFile", {temp.path + "/none.exe"}, temp.path + "/none.exe: no such file"},
        {"NotAFolderOnTheWay", {temp.path + "/game.exe/game.exe"}, temp.path + "/game.exe/game.exe: no such file"},
        {"SettingsInAFolderTheUserMayNotEnter", {"--settings", temp.path + "/locked/x", temp.path + "/game.exe"},
         temp.path + "/locked/x: access denied"},
        {"SettingsFolderThatCannotBeEntered", {"--settings", temp.path + "/shut", temp.path + "/game.exe"},
         temp.path + "/shut: the settings folder could not be entered (Permission denied)"},
    };
    for (const Case& c : kCases) {
        const CheckerRun run = checkAsPlayer(c.args);
        EXPECT_EQ(run.status, 2) << c.name << ": " << run.out;
        EXPECT_NE(run.err.find("menupatch-check: " + c.error), std::string::npos) << c.name << ": " << run.err;
    }
    // So that the folder can be removed by whoever runs the test.
    for (const char* folder : {"/locked", "/shut"}) {
        std::filesystem::permissions(temp.path + folder, std::filesystem::perms::owner_all);
    }
}

// The plug-in opens korvan.set by that name; for one spelled otherwise the dry
// run links it from a folder of its own in the temporary folder, and without
// one it cannot tell, saying so, and makes nothing in the working folder.
TEST(CheckerReasons, NoTemporaryFolderForASettingsFileInAnotherCase) {
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    writeFile(temp.path + "/KORVAN.SET", std::vector<unsigned char>(2048, 0x02));
    const std::string work = temp.make("work");
    const std::string before = std::filesystem::current_path();
    std::filesystem::current_path(work);
    CheckerRun run;
    {
        ScopedEnvironment environment({{"TMPDIR", temp.path + "/no-such-folder"}});
        run = check({exe});
    }
    std::filesystem::current_path(before);

    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.err.find("menupatch-check: " + temp.path + ": no temporary folder to link KORVAN.SET from"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(work));
}

// What Linux will not show of a process, in words.
TEST(CheckerOnLinuxProcesses, RefusesWhatIsNotAGameUnderWine) {
    const CheckerRun own = checkLinux({"--pid", std::to_string(getpid())});
    const CheckerRun none = checkLinux({"--pid", "999999999"});
    const CheckerRun name = checkLinux({"--process", "no-such-game.exe"});

    EXPECT_EQ(own.status, 2);
    EXPECT_EQ(own.err, "menupatch-check: process " + std::to_string(getpid()) +
                           ": not a Windows program running under Wine or Proton (the game runs as one)\n");
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "menupatch-check: process 999999999: no process with that id is running\n");
    EXPECT_EQ(name.status, 2);
    EXPECT_EQ(name.err, "menupatch-check: no-such-game.exe: no running process has that name\n");
}

}  // namespace
