// menupatch-check.exe under Wine: on game executables the tests write, against
// what the real DLL does in the substitute host laid out the same way, and on
// the substitute host running as a game.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "substitute_host/game_executable.h"
#include "tests/support/expected_rows.h"
#include "tests/support/json_reader.h"
#include "tests/support/shell_link_file.h"
#include "tests/wine/wine_host.h"

namespace {

std::string fact(const std::string& key, const std::string& value) { return "\"" + key + "\": " + value; }

// The value of a top-level "key": number or "string" in the checker's JSON.
std::string jsonValue(const std::string& json, const std::string& key) {
    const std::string start = "\"" + key + "\": ";
    const auto at = json.find(start);
    if (at == std::string::npos) return "<absent>";
    const auto from = at + start.size();
    if (json[from] == '"') return json.substr(from + 1, json.find('"', from + 1) - from - 1);
    return json.substr(from, json.find_first_of(",}", from) - from);
}

// Names a player's folders may have: Cyrillic, CJK and an emoji (beyond UTF-16's first plane).
const std::string kFolderInAnyScript = "Игры 游戏 🎮";

JsonValue parsed(const ProgramRun& run) {
    JsonValue value;
    EXPECT_TRUE(parseJson(run.out, &value)) << "not one valid JSON object: " << run.out;
    return value;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A unique name for what a test puts where other tests' files may be.
std::string uniqueName(const TempFolder& temp) { return std::filesystem::path(temp.path).filename().string(); }

TEST(CheckerUnderWine, NamesInAnyScript_AbsoluteRelativeSettingsAndShortcut) {
    TempFolder temp;
    const std::string folder = temp.make(kFolderInAnyScript);
    const std::string exe = folder + "/игра.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    writeSettingsFile(folder, 2048, {0x01});
    const std::string settings = temp.make("Настройки 設定 ⚙");
    writeSettingsFile(settings, 2048, {0xFF});
    ShellLinkParts link;
    link.ansiPath = "Z:\\?";
    link.unicodePath = windowsPath(exe);
    const std::string shortcut = temp.path + "/Игра 🎮.lnk";
    writeFile(shortcut, shellLinkFile(link));

    const ProgramRun text = runChecker({windowsPath(exe)});
    const ProgramRun absolute = runChecker({"--json", windowsPath(exe)});
    const ProgramRun relative = runChecker({"--json", "игра.exe"}, folder);
    const ProgramRun named = runChecker({"--json", "--settings", windowsPath(settings), windowsPath(exe)});
    const ProgramRun followed = runChecker({windowsPath(shortcut)});

    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.firstLine(), "Build A: the plug-in will apply.");
    EXPECT_TRUE(text.says("Executable   " + windowsPath(exe) + "\n")) << text.out;
    const JsonValue a = parsed(absolute);
    const JsonValue r = parsed(relative);
    EXPECT_EQ(a["file"].text, windowsPath(exe));
    EXPECT_EQ(r["file"].text, "игра.exe");
    for (const JsonValue* json : {&a, &r}) {
        EXPECT_EQ((*json)["applies"].text, "true");
        EXPECT_EQ((*json)["flag_after"].text, "1");
        EXPECT_TRUE(endsWith((*json)["settings"]["file"].text, "\\" + kFolderInAnyScript + "\\korvan.set"))
            << (*json)["settings"]["file"].text;
    }
    const JsonValue n = parsed(named);
    EXPECT_EQ(n["flag_after"].text, "255");
    EXPECT_TRUE(endsWith(n["settings"]["file"].text, "\\Настройки 設定 ⚙\\korvan.set")) << named.out;
    EXPECT_EQ(followed.exitCode, 0) << followed.err;
    EXPECT_TRUE(followed.says("Shortcut     " + windowsPath(shortcut) + ", followed to:\nExecutable   " +
                              windowsPath(exe) + "\n"))
        << followed.out;
}

// Both checkers name themselves and their version in one line.
TEST(CheckerUnderWine, VersionOfBothCheckers) {
    const ProgramRun windows = runChecker({"--version"});
    const ProgramRun onLinux = runLinuxChecker({"--version"});
    for (const ProgramRun* run : {&windows, &onLinux}) {
        EXPECT_EQ(run->exitCode, 0) << run->err;
        EXPECT_EQ(run->out, "menupatch-check " MENUPATCH_VERSION "\n");
        EXPECT_EQ(run->err, "");
    }
}

// Planted where Windows keeps them: the game under Program Files, its settings
// file's copy in the player's VirtualStore. Wine does not redirect; the choice
// is the checker's, from the system's own folders.
TEST(CheckerUnderWine, VirtualStoreCopyUnlessTheGameHasAManifest) {
    const std::string programFiles = windowsEnvironment("ProgramFiles");
    const std::string localAppData = windowsEnvironment("LOCALAPPDATA");
    ASSERT_EQ(programFiles.rfind("C:\\", 0), 0u) << programFiles;
    ASSERT_EQ(localAppData.rfind("C:\\", 0), 0u) << localAppData;
    TempFolder temp;
    const std::string game = programFiles + "\\menupatch " + uniqueName(temp);
    const std::string copy = localAppData + "\\VirtualStore" + game.substr(2);
    struct Planted {
        std::vector<std::string> folders;
        ~Planted() {
            for (const std::string& f : folders) std::filesystem::remove_all(f);
        }
    } planted{{prefixFolder(game), prefixFolder(copy)}};
    for (const std::string& f : planted.folders) std::filesystem::create_directories(f);
    writeFile(prefixFolder(game) + "/game.exe", gameExecutable(GameSetup{}));
    ExecutableOptions manifested;
    manifested.manifest =
        "<assembly><trustInfo><security><requestedPrivileges><requestedExecutionLevel level=\"asInvoker\" "
        "uiAccess=\"false\"/></requestedPrivileges></security></trustInfo></assembly>";
    writeFile(prefixFolder(game) + "/uac.exe", gameExecutable(GameSetup{}, manifested));
    writeSettingsFile(prefixFolder(game), 2048, {0x01});
    writeSettingsFile(prefixFolder(copy), 2048, {0x02});

    const ProgramRun old = runChecker({"--json", game + "\\game.exe"});
    const ProgramRun uac = runChecker({"--json", game + "\\uac.exe"});
    const ProgramRun text = runChecker({game + "\\game.exe"});

    const JsonValue o = parsed(old);
    EXPECT_EQ(o["flag_after"].text, "2");
    EXPECT_EQ(o["settings"]["source"].text, "virtual_store");
    EXPECT_EQ(o["settings"]["file"].text, copy + "\\korvan.set");
    const JsonValue u = parsed(uac);
    EXPECT_EQ(u["flag_after"].text, "1");
    EXPECT_EQ(u["settings"]["source"].text, "folder_not_virtualised");
    EXPECT_EQ(u["settings"]["file"].text, game + "\\korvan.set");
    EXPECT_EQ(u["settings"]["virtual_store_copy"].text, copy + "\\korvan.set");
    EXPECT_TRUE(text.says("Settings     the game reads " + localAppData + "\\VirtualStore\\")) << text.out;
}

TEST(CheckerUnderWine, FileVerdictsAndExitStatus) {
    TempFolder temp;
    const std::string applies = temp.path + "/game.exe";
    writeFile(applies, gameExecutable(GameSetup{}));
    GameSetup unfit;
    unfit.readOnlyPage = pageBaseOf(kA);
    const std::string untouched = temp.path + "/other.exe";
    writeFile(untouched, gameExecutable(unfit));
    std::vector<unsigned char> wide = gameExecutable(GameSetup{});
    wide[kExeNtHeader + 4] = 0x64;
    wide[kExeNtHeader + 5] = 0x86;
    const std::string sixtyFour = temp.path + "/game64.exe";
    writeFile(sixtyFour, wide);
    writeSettingsFile(temp.path, 2048, {0x01});

    const ProgramRun a = runChecker({windowsPath(applies)});
    EXPECT_EQ(a.exitCode, 0) << a.out << a.err;
    EXPECT_EQ(a.firstLine(), "Build A: the plug-in will apply.");
    EXPECT_TRUE(a.says("Flag byte at 0x5A8000:    0x05 -> 0x01")) << a.out;

    // None of the builds, or not 32-bit: the game beside it is named, as for a launcher.
    const ProgramRun none = runChecker({"--json", windowsPath(untouched)});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.out.find(fact("applies", "false")), std::string::npos) << none.out;
    EXPECT_NE(none.out.find(fact("check", "\"menu_rows\"")), std::string::npos) << none.out;
    const JsonValue beside = parsed(none)["beside"];
    ASSERT_EQ(beside.items.size(), 1u) << none.out;
    EXPECT_TRUE(endsWith(beside.items[0]["file"].text, "game.exe")) << none.out;
    EXPECT_EQ(beside.items[0]["build"].text, "A");
    const ProgramRun noneText = runChecker({windowsPath(untouched)});
    EXPECT_NE(noneText.out.find("Beside it    game.exe beside it is build A: the plug-in will apply to it\n"),
              std::string::npos)
        << noneText.out;

    const ProgramRun wrong = runChecker({windowsPath(sixtyFour)});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err, "menupatch-check: " + windowsPath(sixtyFour) +
                             ": a 64-bit executable, not the 32-bit game; game.exe beside it is build A: the "
                             "plug-in will apply to it\n");

    const ProgramRun missing = runChecker({windowsPath(temp.path + "/nothing.exe")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "menupatch-check: " + windowsPath(temp.path + "/nothing.exe") + ": no such file\n");
}

// The same game, once as a file for the checker and once laid out in the
// substitute host for the DLL: the verdict and the changes must agree.
struct AgreementCase {
    const char* name;
    std::vector<std::string> hostArguments;
    std::function<void(GameSetup&)> setup;
};

void PrintTo(const AgreementCase& c, std::ostream* out) { *out << c.name; }

const AgreementCase kAgreementCases[] = {
    {"BuildA", {"--build", "A"}, [](GameSetup&) {}},
    {"BuildB", {"--build", "B"},
     [](GameSetup& s) { s.signatureAtA = false; s.signatureAtB = true; s.build = kB; }},
    {"BuildC", {"--build", "C"}, [](GameSetup& s) { s.signatureAtA = false; s.build = kC; }},
    {"BothSignatures", {"--build", "AB"}, [](GameSetup& s) { s.signatureAtB = true; }},
    {"CodeWritable", {"--build", "A", "--code-writable"}, [](GameSetup& s) { s.codeWritable = true; }},
    {"SignatureUnreadable", {"--build", "C", "--signatures", "A", "--probe-noaccess"},
     [](GameSetup& s) { s.probeNoAccess = true; s.build = kC; }},
    {"PageBaseNull", {"--build", "A", "--page-base", "0"},
     [](GameSetup& s) { s.overridePageBase = true; s.pageBase = 0; }},
    {"PageBaseInCode", {"--build", "A", "--page-base", "0x48D000"},
     [](GameSetup& s) { s.overridePageBase = true; s.pageBase = kCodeBase; }},
    {"RowsCrossIntoReadOnlyPage", {"--build", "A", "--page-base", "0x5A1BE8", "--readonly-page", "0x5A2000"},
     [](GameSetup& s) { s.overridePageBase = true; s.pageBase = 0x5A1BE8; s.readOnlyPage = 0x5A2000; }},
    {"RoutinesNotExecutable", {"--build", "C", "--routines-noexec"},
     [](GameSetup& s) { s.signatureAtA = false; s.build = kC; s.routinesNotExecutable = true; }},
};

class CheckerAgreesWithDll : public testing::TestWithParam<AgreementCase> {};

TEST_P(CheckerAgreesWithDll, SameVerdictAndSameBytes) {
    const AgreementCase& c = GetParam();
    TempFolder temp;
    const std::string settings = temp.make("settings");
    writeSettingsFile(settings, 2048, {0x73});
    GameSetup setup;
    c.setup(setup);
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, gameExecutable(setup));

    const ProgramRun checker = runChecker({"--json", "--settings", windowsPath(settings), windowsPath(exe)});
    std::vector<std::string> hostArgs = c.hostArguments;
    hostArgs.insert(hostArgs.end(), {"--settings", windowsPath(settings), "--start", windowsPath(temp.make("start"))});
    const HostRun dll = runSubstituteHost(hostArgs);
    ASSERT_EQ(dll.text("load"), "ok") << dll.output;
    ASSERT_NE(checker.exitCode, 2) << checker.err;

    const bool dllPatched = dll.number("operand") == dll.number("flag_address");
    EXPECT_EQ(jsonValue(checker.out, "applies"), dllPatched ? "true" : "false") << checker.out;
    EXPECT_EQ(checker.exitCode, dllPatched ? 0 : 1);
    if (dllPatched) {
        EXPECT_EQ(jsonValue(checker.out, "rows_after"), dll.text("rows"));
        EXPECT_EQ(std::stol(jsonValue(checker.out, "operand_after")), dll.number("operand"));
        EXPECT_EQ(std::stol(jsonValue(checker.out, "flag_after")), dll.number("flag_after"));
    } else {
        EXPECT_EQ(dll.number("changed_total"), 0);
        EXPECT_EQ(jsonValue(checker.out, "changes"), "[]");
    }
}

INSTANTIATE_TEST_SUITE_P(Games, CheckerAgreesWithDll, testing::ValuesIn(kAgreementCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The substitute host as a running game, read by pid and by name.
struct RunningCase {
    const char* name;
    std::vector<std::string> hostArguments;
    int exitCode;
    std::string verdict;  // the end of the first line
    std::string applied;
};

void PrintTo(const RunningCase& c, std::ostream* out) { *out << c.name; }

const RunningCase kRunningCases[] = {
    {"BuildA_Applied", {"--build", "A"}, 0, "the plug-in's changes are in place.", "yes"},
    {"BuildB_Applied", {"--build", "B"}, 0, "the plug-in's changes are in place.", "yes"},
    {"BuildC_Applied", {"--build", "C"}, 0, "the plug-in's changes are in place.", "yes"},
    {"WithoutTheDll_NotApplied", {"--build", "A", "--no-dll"}, 1,
     "the plug-in's changes are not in place (the game's own rows are there).", "no"},
    {"RowByteChangedAfter_Partly", {"--build", "B", "--change-row-byte"}, 1,
     "the plug-in's changes are partly in place: something else changed the same places.", "partly"},
};

class CheckerOnRunningGame : public testing::TestWithParam<RunningCase> {};

TEST_P(CheckerOnRunningGame, ReadsTheGameByPid) {
    const RunningCase& c = GetParam();
    TempFolder temp;
    StayingHost host = startStayingHost(c.hostArguments, temp.path + "/stop");
    ASSERT_NE(host.pid, 0u) << host.output;

    const ProgramRun text = runChecker({"--pid", std::to_string(host.pid)});
    const ProgramRun json = runChecker({"--json", "--pid", std::to_string(host.pid)});
    // The same process from the Linux side, by its Linux id.
    const unsigned linuxPid = linuxPidOf(host);
    const ProgramRun linuxJson = runLinuxChecker({"--json", "--pid", std::to_string(linuxPid)});
    const ProgramRun linuxText = runLinuxChecker({"--pid", std::to_string(linuxPid)});
    stopStayingHost(host);

    const std::string build = c.hostArguments[1];
    EXPECT_EQ(text.exitCode, c.exitCode) << text.out << text.err;
    EXPECT_EQ(text.firstLine(), "Build " + build + ", process " + std::to_string(host.pid) +
                                    " (substitute_host.exe): " + c.verdict);
    EXPECT_EQ(jsonValue(json.out, "applied"), c.applied) << json.out;
    EXPECT_EQ(jsonValue(json.out, "build"), build);

    ASSERT_NE(linuxPid, 0u);
    EXPECT_EQ(linuxText.exitCode, c.exitCode) << linuxText.err;
    EXPECT_EQ(linuxText.firstLine(), "Build " + build + ", process " + std::to_string(linuxPid) +
                                         " (substitute_host.exe): " + c.verdict);
    for (const char* key : {"process", "build", "signature", "applied", "check", "page_base", "flag_address",
                            "operand", "rows", "rows_in_place"}) {
        EXPECT_EQ(jsonValue(linuxJson.out, key), jsonValue(json.out, key)) << key << "\n" << linuxJson.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Games, CheckerOnRunningGame, testing::ValuesIn(kRunningCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckerOnRunningGame, ByNameOneOrSeveral) {
    TempFolder temp;
    // A name of its own, so that no other test's host answers to it.
    const std::string name = "game-" + std::filesystem::path(temp.path).filename().string() + ".exe";
    const std::string exe = temp.path + "/" + name;
    std::filesystem::copy_file(MENUPATCH_SUBSTITUTE_HOST, exe);

    StayingHost first = startStayingHost({"--build", "A"}, temp.path + "/stop1", exe);
    ASSERT_NE(first.pid, 0u) << first.output;
    const ProgramRun one = runChecker({"--process", name});
    StayingHost second = startStayingHost({"--build", "A"}, temp.path + "/stop2", exe);
    ASSERT_NE(second.pid, 0u) << second.output;
    const ProgramRun two = runChecker({"--process", name});
    stopStayingHost(first);
    stopStayingHost(second);

    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(one.firstLine(), "Build A, process " + std::to_string(first.pid) + " (" + name +
                                   "): the plug-in's changes are in place.");
    EXPECT_EQ(two.exitCode, 2);
    EXPECT_EQ(two.out, "");
    const std::string pids = std::to_string(std::min(first.pid, second.pid)) + ", " +
                             std::to_string(std::max(first.pid, second.pid));
    EXPECT_EQ(two.err, "menupatch-check: " + name + ": 2 running processes have that name (pids " + pids +
                           "); choose one with --pid\n");
}

TEST(CheckerOnRunningGame, NameInAnyScript_ByNameInAnyCaseAndByPid) {
    TempFolder temp;
    const std::string name = "игра 游戏 🎮 " + uniqueName(temp) + ".exe";
    std::string upper = "ИГРА 游戏 🎮 " + uniqueName(temp) + ".EXE";
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string exe = temp.make(kFolderInAnyScript) + "/" + name;
    std::filesystem::copy_file(MENUPATCH_SUBSTITUTE_HOST, exe);

    StayingHost host = startStayingHost({"--build", "C"}, temp.path + "/stop", exe);
    ASSERT_NE(host.pid, 0u) << host.output;
    const ProgramRun byName = runChecker({"--json", "--process", name});
    const ProgramRun inCapitals = runChecker({"--json", "--process", upper});
    const ProgramRun byPid = runChecker({"--pid", std::to_string(host.pid)});
    stopStayingHost(host);

    for (const ProgramRun* run : {&byName, &inCapitals}) {
        EXPECT_EQ(run->exitCode, 0) << run->err;
        const JsonValue json = parsed(*run);
        EXPECT_EQ(json["process"].text, name);
        EXPECT_EQ(json["pid"].text, std::to_string(host.pid));
        EXPECT_EQ(json["applied"].text, "yes");
    }
    EXPECT_EQ(byPid.firstLine(), "Build C, process " + std::to_string(host.pid) + " (" + name +
                                     "): the plug-in's changes are in place.");
}

// By name from the Linux side: Wine cuts the name in /proc/PID/comm to 15
// characters, so the whole name must come from the command line.
TEST(CheckerOnRunningGame, LinuxCheckerByLongNameInAnyCase) {
    TempFolder temp;
    const std::string name = "a-game-with-a-long-name-" + uniqueName(temp) + ".exe";
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string exe = temp.path + "/" + name;
    std::filesystem::copy_file(MENUPATCH_SUBSTITUTE_HOST, exe);

    StayingHost host = startStayingHost({"--build", "A"}, temp.path + "/stop", exe);
    ASSERT_NE(host.pid, 0u) << host.output;
    const ProgramRun byName = runLinuxChecker({"--json", "--process", upper});
    stopStayingHost(host);

    EXPECT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_EQ(jsonValue(byName.out, "process"), name);
    EXPECT_EQ(jsonValue(byName.out, "applied"), "yes");
}

// Double-clicked while the game runs: both checkers find it with nothing
// named; once it has ended, each says in plain words that none runs. Run
// alone (RUN_SERIAL): another test's game would be found too.
TEST(RunningGamesUnderWine, FoundWithNothingNamed_NoneOnceItEnds) {
    TempFolder temp;
    StayingHost host = startStayingHost({"--build", "A"}, temp.path + "/stop");
    ASSERT_NE(host.pid, 0u) << host.output;
    const ProgramRun found = runChecker({});
    const ProgramRun fromLinux = runLinuxChecker({"--json"});
    const unsigned linuxPid = linuxPidOf(host);
    stopStayingHost(host);
    const ProgramRun none = runChecker({});

    EXPECT_EQ(found.exitCode, 0) << found.out << found.err;
    EXPECT_EQ(found.firstLine().rfind("Running games found: 1 of the ", 0), 0u) << found.out;
    const std::string pid = std::to_string(host.pid);
    EXPECT_TRUE(found.says("\nsubstitute_host.exe, process " + pid + " (menupatch.dll loaded):\nBuild A, process " + pid +
                           " (substitute_host.exe): the plug-in's changes are in place.\n"))
        << found.out;
    const JsonValue onLinux = parsed(fromLinux);
    ASSERT_EQ(onLinux["games"].items.size(), 1u) << fromLinux.out;
    EXPECT_EQ(onLinux["games"].items[0]["pid"].text, std::to_string(linuxPid));
    EXPECT_EQ(onLinux["games"].items[0]["plugin_loaded"].text, "true");
    EXPECT_EQ(onLinux["games"].items[0]["applied"].text, "yes");
    EXPECT_EQ(fromLinux.exitCode, 0);

    EXPECT_EQ(none.exitCode, 2) << none.out;
    EXPECT_EQ(none.firstLine().rfind("No running game found: none of the ", 0), 0u) << none.out;
    EXPECT_TRUE(none.says("What to do   To check the game's file, drag its executable")) << none.out;
    EXPECT_EQ(none.err, "");
}

TEST(CheckerOnRunningGame, NoSuchProcess) {
    const ProgramRun pid = runChecker({"--pid", "999999"});
    EXPECT_EQ(pid.exitCode, 2);
    EXPECT_EQ(pid.err, "menupatch-check: process 999999: no process with that id is running\n");

    const ProgramRun name = runChecker({"--process", "no-such-game.exe"});
    EXPECT_EQ(name.exitCode, 2);
    EXPECT_EQ(name.err, "menupatch-check: no-such-game.exe: no running process has that name\n");
}

}  // namespace
