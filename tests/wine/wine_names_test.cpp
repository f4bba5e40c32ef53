// The checker's rules for names and paths, held to Wine's own: the table it
// upper-cases names by, which spellings of a name open one file, and which
// Windows paths reach which file. Wine answers through name_rules.exe.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "text/text.h"
#include "checker/find/wine_paths.h"
#include "tests/support/temp_folder.h"
#include "tests/wine/wine_host.h"

namespace {

std::string readFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return {};
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Units written as hex, four digits each.
std::string utf8OfHex(const std::string& hex) {
    std::u16string units;
    for (std::size_t at = 0; at + 4 <= hex.size(); at += 4) {
        units += static_cast<char16_t>(std::stoul(hex.substr(at, 4), nullptr, 16));
    }
    return utf8FromUtf16(units);
}

// The Windows form of a Unix path on drive Z:, with backslashes.
std::string onDriveZ(const std::string& unixPath) {
    std::string path = windowsPath(unixPath);
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

TEST(WineNameRules, TheUpperCaseTableIsWines) {
    TempFolder temp;
    const ProgramRun run = runUnderWine(MENUPATCH_NAME_RULES, {"upper", windowsPath(temp.path + "/upper.bin")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string table = readFile(temp.path + "/upper.bin");
    ASSERT_EQ(table.size(), 0x20000u);
    int differences = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const unsigned wine = static_cast<unsigned char>(table[2 * unit]) |
                              static_cast<unsigned char>(table[2 * unit + 1]) << 8;
        const unsigned ours = windowsUpperCase(static_cast<char16_t>(unit));
        if (ours != wine && ++differences <= 10) {
            ADD_FAILURE() << std::hex << "U+" << unit << ": Wine upper-cases it to U+" << wine << ", the checker to U+"
                          << ours;
        }
    }
    EXPECT_EQ(differences, 0);
}

// Every unit that may stand in a name, with each other spelling Wine knows of
// it (and pairs outside the BMP): a file made under one, opened under the other.
TEST(WineNameRules, TwoSpellingsAreOneNameWhereWineOpensTheFile) {
    TempFolder temp;
    const ProgramRun run = runUnderWine(MENUPATCH_NAME_RULES,
                                        {"cases", onDriveZ(temp.path + "/cases"), windowsPath(temp.path + "/cases.txt")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream lines(readFile(temp.path + "/cases.txt"));
    std::string made;
    std::string asked;
    int opened = 0;
    int pairs = 0;
    int differences = 0;
    while (lines >> made >> asked >> opened) {
        ++pairs;
        const bool same = sameFileName("n" + utf8OfHex(made) + ".t", "n" + utf8OfHex(asked) + ".t");
        if (same != (opened == 1) && ++differences <= 10) {
            ADD_FAILURE() << made << " made, " << asked << " asked: Wine " << (opened ? "opens" : "does not open")
                          << " it, the checker takes them for " << (same ? "one name" : "two");
        }
    }
    EXPECT_GT(pairs, 2000) << "Wine knows the case of that many units";
    EXPECT_EQ(differences, 0);
}

// Windows paths a shortcut may hold, each to the game or nowhere: where Wine
// opens a file, the checker must reach the same one; where Wine opens none,
// the checker must reach none.
TEST(WinePaths, TheCheckerReachesWhatWineOpens) {
    TempFolder temp;
    const std::string game = temp.make("Games/My Game") + "/game.exe";
    std::ofstream(game) << "the game\n";
    std::ofstream(temp.make("Games/My Game/game.exe.d") + "/x") << "a decoy\n";
    const std::string t = onDriveZ(temp.path);
    const std::string z = "Z:" + temp.path;  // with forward slashes
    const std::vector<std::string> paths = {
        t + "\\Games\\My Game\\game.exe",
        z + "/Games/My Game/game.exe",
        "z" + t.substr(1) + "\\GAMES\\MY GAME\\GAME.EXE",
        "\\\\?\\" + t + "\\Games\\My Game\\game.exe",
        "\\\\.\\" + t + "\\Games\\My Game\\game.exe",
        "\\\\?\\" + t + "\\Games\\My Game\\game.exe.",
        "\\\\?\\" + t + "\\Games\\My Game\\..\\My Game\\game.exe",
        "\\\\.\\" + t + "\\Games\\My Game\\..\\My Game\\game.exe. ",
        t + "\\Games\\My Game\\game.exe.",
        t + "\\Games\\My Game\\game.exe  ",
        t + "\\Games\\My Game\\game.exe. . ",
        t + "\\Games.\\My Game\\game.exe",
        t + "\\Games..\\My Game\\game.exe",
        t + "\\Games \\My Game\\game.exe",
        t + "\\Games\\.\\My Game\\.\\game.exe",
        t + "\\Games\\My Game\\..\\..\\Games\\My Game\\game.exe",
        "Z:\\..\\..\\..\\" + t.substr(3) + "\\Games\\My Game\\game.exe",
        t + "\\Games\\My Game\\game.exe\\",
        t + "\\Games\\\\My Game\\game.exe",
        t + "\\Games\\My Game",
        t + "\\Games\\My Game\\game",
        t + "\\Games/My Game\\game.exe",
        t + "\\Games\\My Game\\game.exe/",
        "\\??\\" + t + "\\Games\\My Game\\game.exe",
        "\\\\?\\" + t + "\\Games\\.\\My Game\\game.exe",
        "\\\\?\\" + t + "\\Games/My Game\\game.exe",
        "\\??\\" + z + "/Games/My Game/game.exe",
        t + "\\Games\\My Game\\game .exe",
        "1:\\Games\\game.exe",
    };
    std::string list;
    for (const std::string& path : paths) list += path + "\n";
    std::ofstream(temp.path + "/paths.txt", std::ios::binary) << list;
    const ProgramRun run = runUnderWine(MENUPATCH_NAME_RULES,
                                        {"open", windowsPath(temp.path + "/paths.txt"), windowsPath(temp.path + "/opened.txt")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream answers(readFile(temp.path + "/opened.txt"));
    const char* prefix = std::getenv("MENUPATCH_WINEPREFIX");
    const WineLookup lookup = {"", prefix != nullptr ? prefix : MENUPATCH_WINE_PREFIX, ""};
    for (const std::string& path : paths) {
        std::string answer;
        ASSERT_TRUE(std::getline(answers, answer)) << "no answer for " << path;
        const bool wineOpened = answer.rfind("1 ", 0) == 0;
        std::string reached;
        std::string why;
        const bool found = unixPathOf(path, false, lookup, &reached, &why);
        const std::string text = found ? readFile(reached) : std::string();
        const std::string first = text.substr(0, text.find('\n'));
        if (wineOpened) {
            EXPECT_EQ(first, answer.substr(2)) << path << ": Wine opens it, the checker reaches " << reached << " "
                                               << why;
        } else {
            EXPECT_TRUE(first.empty()) << path << ": Wine opens nothing (error " << answer.substr(2)
                                       << "), the checker reaches " << reached;
        }
    }
}

}  // namespace
