// The running games the checker finds by itself, over a list of processes the
// test lays out: with nothing named (a double-click), and for a dragged file
// whose game runs.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "checker/decide/game_check.h"
#include "substitute_host/game_executable.h"
#include "tests/support/checker_run.h"
#include "tests/support/drm_wrapper.h"
#include "tests/support/json_reader.h"
#include "tests/support/temp_folder.h"

namespace {

GameSetup build(const char* name) {
    GameSetup setup;
    setupOfBuild(name, &setup);
    return setup;
}

// The game's memory as it runs: as the file lays it out, and with the
// plug-in's changes where `patched` (what its dry run writes).
std::shared_ptr<PeImage> running(const GameSetup& setup, bool patched) {
    std::vector<unsigned char> game = gameBytesOf(setup);
    if (patched) {
        PeImage image;
        readPeImage(gameExecutable(setup, game), &image);
        TempFolder temp;
        for (const WrittenRun& run : checkGameFile(image, settingsFolderAsIs(temp.path)).changes) {
            std::copy(run.after.begin(), run.after.end(),
                      game.begin() + (run.address - kGameBegin));
        }
    }
    const auto image = std::make_shared<PeImage>();
    readPeImage(gameExecutable(setup, game), image.get());
    return image;
}

FakeProcess process(unsigned pid, const char* name, std::shared_ptr<PeImage> image,
                    bool plugin = false, const std::string& runs = "") {
    FakeProcess p;
    p.pid = pid;
    p.name = name;
    p.image = std::move(image);
    p.pluginLoaded = plugin;
    p.runs = runs;
    return p;
}

// The report with each field's wrapped lines joined again.
std::string unwrapped(const std::string& text) {
    std::string joined = text;
    const std::string wrap = "\n" + std::string(13, ' ');
    for (std::size_t at; (at = joined.find(wrap)) != std::string::npos;)
        joined.replace(at, wrap.size(), " ");
    return joined;
}

Processes table(const std::vector<FakeProcess>& list) {
    return fakeProcesses(std::make_shared<std::vector<FakeProcess>>(list));
}

// A program that is none of the builds: build C's places, its page slot pointing nowhere.
std::shared_ptr<PeImage> otherProgram() {
    GameSetup setup = build("C");
    setup.overridePageBase = true;
    setup.pageBase = 0;
    return running(setup, false);
}

using List = std::vector<FakeProcess>;

struct ScanCase {
    const char* name;
    std::function<List()> processes;  // made when the case runs, not when the program starts
    int status;
    std::vector<std::string> found;  // "pid applied", in order
    unsigned lookedAt;
    unsigned notRead;
};

void PrintTo(const ScanCase& c, std::ostream* out) { *out << c.name; }

const ScanCase kScanCases[] = {
    {"NothingRuns", [] { return List{}; }, 2, {}, 0, 0},
    {"OnlyOtherPrograms",
     [] {
         return List{process(11, "explorer.exe", otherProgram()),
                     process(12, "gamec.exe", running(build("C"), false))};
     },
     2,
     {},
     2,
     0},
    {"BuildAWithThePlugIn",
     [] {
         return List{process(11, "explorer.exe", otherProgram()),
                     process(20, "game.exe", running(build("A"), true), true)};
     },
     0,
     {"20 yes"},
     2,
     0},
    // Found by its signature: the plug-in is not in its folder.
    {"BuildBWithoutThePlugIn",
     [] { return List{process(30, "game.exe", running(build("B"), false))}; },
     1,
     {"30 no"},
     1,
     0},
    // Build C has no signature: the plug-in it has loaded finds it.
    {"BuildCKnownByThePlugIn",
     [] { return List{process(40, "game.exe", running(build("C"), true), true)}; },
     0,
     {"40 yes"},
     1,
     0},
    {"PlugInInAnotherProgram",
     [] { return List{process(41, "tool.exe", otherProgram(), true)}; },
     1,
     {"41 no"},
     1,
     0},
    {"SomeMayNotBeRead",
     [] {
         return List{process(5, "service.exe", nullptr), process(6, "antivirus.exe", nullptr),
                     process(20, "game.exe", running(build("A"), true), true)};
     },
     0,
     {"20 yes"},
     1,
     2},
    {"TwoGames_OneNotInPlace",
     [] {
         return List{process(20, "game.exe", running(build("A"), true), true),
                     process(21, "game.exe", running(build("A"), false))};
     },
     1,
     {"20 yes", "21 no"},
     2,
     0},
};

class RunningGamesFound : public testing::TestWithParam<ScanCase> {};

TEST_P(RunningGamesFound, WithNothingNamed) {
    const ScanCase& c = GetParam();
    const Processes processes = table(c.processes());

    const CheckerRun text = check({}, {}, processes);
    const CheckerRun json = check({"--json"}, {}, processes);

    EXPECT_EQ(text.status, c.status) << text.out << text.err;
    EXPECT_EQ(json.status, c.status);
    EXPECT_EQ(text.err, "");
    JsonValue report;
    ASSERT_TRUE(parseJson(json.out, &report)) << json.out;
    EXPECT_EQ(report["check"].text, "running_games");
    EXPECT_EQ(report["looked_at"].text, std::to_string(c.lookedAt));
    EXPECT_EQ(report["not_read"].text, std::to_string(c.notRead));
    ASSERT_EQ(report["games"].items.size(), c.found.size()) << json.out;
    for (std::size_t i = 0; i < c.found.size(); ++i) {
        const JsonValue& game = report["games"].items[i];
        EXPECT_EQ(game["pid"].text + " " + game["applied"].text, c.found[i]);
        // Each under a line that names it, with the report --pid gives.
        const std::string name = game["process"].text;
        EXPECT_TRUE(
            text.says("\n" + name + ", process " + game["pid"].text +
                      (game["plugin_loaded"].text == "true" ? " (menupatch.dll loaded)" : "") +
                      ":\n" + check({"--pid", game["pid"].text}, {}, processes).out))
            << text.out;
    }
    if (c.found.empty()) {
        EXPECT_EQ(text.firstLine(),
                  "No running game found: none of the " + std::to_string(c.lookedAt) +
                      (c.lookedAt == 1 ? " running process" : " running processes") +
                      " looked at has menupatch.dll loaded or holds build A's or build B's "
                      "signature.");
        EXPECT_NE(unwrapped(text.out).find(
                      "What to do   To check the game's file, drag its executable (or its "
                      "shortcut) onto menupatch-check, or name it: menupatch-check GAME.exe. "
                      "To check the running game, start it with menupatch.dll in its folder, "
                      "then start menupatch-check again (a double-click) while the game runs."),
                  std::string::npos)
            << text.out;
    } else {
        EXPECT_EQ(text.firstLine(),
                  "Running games found: " + std::to_string(c.found.size()) + " of the " +
                      std::to_string(c.lookedAt) +
                      (c.lookedAt == 1 ? " running process" : " running processes") +
                      " looked at.");
    }
    EXPECT_EQ(text.says(std::to_string(c.notRead) +
                        " running processes this user may not read were passed over.\n"),
              c.notRead > 1)
        << text.out;
}

INSTANTIATE_TEST_SUITE_P(Lists, RunningGamesFound, testing::ValuesIn(kScanCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<unsigned char> wrapped(const char* name) {
    std::vector<unsigned char> file = gameExecutable(build(name));
    std::string why;
    EXPECT_TRUE(wrapExecutable(&file, {}, &why)) << why;
    return file;
}

// A dragged file whose game runs: where the file cannot tell, the running
// game that runs that very file answers; where it can, its state follows.
TEST(RunningGamesFound, ForADraggedFile) {
    TempFolder temp;
    const std::string hidden = temp.path + "/game.exe";
    const std::string plain = temp.make("plain") + "/game.exe";
    writeFile(hidden, wrapped("A"));
    writeFile(plain, gameExecutable(build("A")));
    FakeProcess ended = process(20, "game.exe", running(build("A"), true), true, hidden);
    ended.failsAt = kProbeA;
    struct Case {
        const char* name;
        std::string file;
        std::vector<FakeProcess> processes;
        int status;
        std::string firstLine;
        std::string says;
        std::vector<std::string> runningGames;  // "pid applied"
    };
    const Case kCases[] = {
        {"HiddenFile_ItsGameRuns",
         hidden,
         {process(20, "game.exe", running(build("A"), true), true, hidden)},
         0,
         "Build A, process 20 (game.exe): the plug-in's changes are in place.",
         "\n\nAnswered by  the running game, process 20 (game.exe), which runs this file: the file "
         "cannot tell, "
         "since what the plug-in reads is encrypted or compressed in the file, and restored when "
         "the game starts.\n\n"
         "Flag operand at 0x4902D2: 0x5A8000 (the flag byte's address: in place)\n",
         {"20 yes"}},
        {"HiddenFile_ItsGameWithoutThePlugIn",
         hidden,
         {process(20, "GAME.EXE", running(build("A"), false), false, hidden)},
         1,
         "Build A, process 20 (GAME.EXE): the plug-in's changes are not in place (the game's own "
         "rows are there).",
         "\nThe file\nExecutable   " + hidden,
         {"20 no"}},
        // Of the same name, but another install: not the file's game.
        {"HiddenFile_AnotherInstallRuns",
         hidden,
         {process(20, "game.exe", running(build("A"), true), true, plain)},
         2,
         "Cannot tell from the file",
         "menupatch-check --process game.exe",
         {}},
        {"HiddenFile_ItsGameCannotBeRead",
         hidden,
         {ended},
         2,
         "Cannot tell: process 20 (game.exe) could not be read: it has ended (4 bytes at "
         "0x667BF0).",
         "Answered by  the running game, process 20",
         {"20 null"}},
        {"PlainFile_ItsGameRuns",
         plain,
         {process(20, "game.exe", running(build("A"), true), true, plain)},
         0,
         "Build A: the plug-in will apply.",
         "\n\nIn the running game (pid 20): the changes are in place.\n",
         {"20 yes"}},
        {"PlainFile_ItsGameWithoutThePlugIn",
         plain,
         {process(20, "game.exe", running(build("A"), false), false, plain)},
         0,
         "Build A: the plug-in will apply.",
         "\n\nIn the running game (pid 20): the changes are not in place.\n",
         {"20 no"}},
        {"PlainFile_NothingRuns", plain, {}, 0, "Build A: the plug-in will apply.", "", {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const Processes processes = table(c.processes);
        const CheckerRun text = check({c.file}, {}, processes);
        const CheckerRun json = check({"--json", c.file}, {}, processes);

        EXPECT_EQ(text.status, c.status) << text.out << text.err;
        EXPECT_EQ(json.status, c.status);
        EXPECT_EQ(text.firstLine().rfind(c.firstLine, 0), 0u) << text.out;
        EXPECT_NE(unwrapped(text.out).find(c.says), std::string::npos) << text.out;
        EXPECT_EQ(text.says("In the running game"), c.runningGames.size() == 1 && c.file == plain)
            << text.out;
        JsonValue report;
        ASSERT_TRUE(parseJson(json.out, &report)) << json.out;
        // The file's own facts stay the file's; the running game's have a field of their own.
        EXPECT_EQ(report["check"].text, c.file == hidden ? "hidden" : "fit");
        ASSERT_EQ(report["running_games"].items.size(), c.runningGames.size()) << json.out;
        for (std::size_t i = 0; i < c.runningGames.size(); ++i) {
            const JsonValue& game = report["running_games"].items[i];
            const std::string applied =
                game["applied"].kind == JsonValue::Kind::Null ? "null" : game["applied"].text;
            EXPECT_EQ(game["pid"].text + " " + applied, c.runningGames[i]);
        }
    }
}

}  // namespace
