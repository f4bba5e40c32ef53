// Shortcuts a player may drag onto menupatch-check: Shell Links read by hand,
// and internet shortcuts, which name no file.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/read/shortcut.h"
#include "text/text.h"
#include "substitute_host/game_executable.h"
#include "tests/support/shell_link_file.h"
#include "tests/support/fake_processes.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

struct LinkCase {
    const char* name;
    ShellLinkParts parts;
    std::string path;  // expected target, as UTF-8; empty: none
    bool relative;
    std::string why;   // a part of the reason when there is no target
};

void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.name; }

ShellLinkParts link(const std::function<void(ShellLinkParts&)>& change) {
    ShellLinkParts parts;
    change(parts);
    return parts;
}

// The ANSI code page of the tests: Latin-1, so that a decoded part shows.
std::string fromLatin1(const std::string& bytes) {
    std::u16string units;
    for (char c : bytes) units += static_cast<char16_t>(static_cast<unsigned char>(c));
    return utf8FromUtf16(units);
}

using namespace std::string_literals;

const std::string kGamePath = "C:\\Игры 游戏 🎮\\игра.exe";

const LinkCase kLinkCases[] = {
    {"UnicodePath", link([](ShellLinkParts& s) { s.ansiPath = "C:\\???? ?? ?\\????.exe"; s.unicodePath = kGamePath; }),
     kGamePath, false, ""},
    {"AnsiPathOnly", link([](ShellLinkParts& s) { s.ansiPath = "C:\\Caf\xE9\\game.exe"; }), "C:\\Café\\game.exe", false, ""},
    {"WithoutItemList", link([](ShellLinkParts& s) { s.itemList = false; s.unicodePath = kGamePath; s.ansiPath = "x"; }),
     kGamePath, false, ""},
    {"NetworkShare", link([](ShellLinkParts& s) { s.networkShare = "\\\\server\\games"; s.suffix = "Game\\game.exe"; }),
     "\\\\server\\games\\Game\\game.exe", false, ""},
    // One path in two encodings: each part decoded by its own.
    {"UnicodeBaseAnsiSuffix",
     link([](ShellLinkParts& s) { s.ansiPath = "C:\\????\\"; s.unicodePath = "C:\\Игры\\"; s.suffix = "Caf\xE9\\game.exe"; }),
     "C:\\Игры\\Café\\game.exe", false, ""},
    {"AnsiShareUnicodeSuffix",
     link([](ShellLinkParts& s) { s.networkShare = "\\\\serv\xE9r\\games"; s.suffix = "????\\game.exe";
                                  s.unicodeSuffix = "Игры\\game.exe"; }),
     "\\\\servér\\games\\Игры\\game.exe", false, ""},
    {"RelativePathOnly", link([](ShellLinkParts& s) { s.relativePath = ".\\Игры\\game.exe"; }), ".\\Игры\\game.exe",
     true, ""},
    {"RelativePathInAnsi", link([](ShellLinkParts& s) { s.ansiStrings = true; s.relativePath = "..\\Caf\xE9\\game.exe"; }),
     "..\\Café\\game.exe", true, ""},
    // The name (a description) comes first in the string data, and is skipped by its length in characters.
    {"NameBeforeRelativePath",
     link([](ShellLinkParts& s) { s.name = "Start the game 🎮, or not"; s.relativePath = ".\\game.exe"; }), ".\\game.exe", true,
     ""},
    {"NameBeforeRelativePathInAnsi",
     link([](ShellLinkParts& s) { s.ansiStrings = true; s.name = "Start the g\xE2me"; s.relativePath = ".\\game.exe"; }),
     ".\\game.exe", true, ""},
    {"Installer", link([](ShellLinkParts& s) { s.installer = true; s.ansiPath = "C:\\x.exe"; }), "", false,
     "an installer's shortcut"},
    {"LinkInfoSmallerThanItsHeader", link([](ShellLinkParts& s) { s.ansiPath = "C:\\x.exe"; s.linkInfoSize = 0x1B; }),
     "", false, "the shortcut is damaged"},
    {"ItemListOnly", link([](ShellLinkParts&) {}), "", false, "names no file"},
};

class ShellLinks : public testing::TestWithParam<LinkCase> {};

TEST_P(ShellLinks, TargetFromTheLinkInfo) {
    const LinkCase& c = GetParam();
    const std::vector<unsigned char> file = shellLinkFile(c.parts);
    ASSERT_EQ(shortcutKind(file), ShortcutKind::ShellLink);

    const ShellLinkTarget target = readShellLink(file, fromLatin1);

    EXPECT_EQ(target.path, c.path);
    if (!c.path.empty()) {
        EXPECT_EQ(target.relative, c.relative);
    } else {
        EXPECT_NE(target.why.find(c.why), std::string::npos) << target.why;
    }
}

INSTANTIATE_TEST_SUITE_P(Shortcuts, ShellLinks, testing::ValuesIn(kLinkCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Cut anywhere, or with any one length field made huge, a shortcut is read
// inside its bytes or refused; under the sanitizers an overrun fails here.
TEST(ShellLinks, EveryCutAndEveryLargeFieldStaysInsideTheFile) {
    ShellLinkParts parts;
    parts.ansiPath = "C:\\Games\\game.exe";
    parts.unicodePath = kGamePath;
    const std::vector<unsigned char> whole = shellLinkFile(parts);
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const std::vector<unsigned char> cut(whole.begin(), whole.begin() + size);
        const ShellLinkTarget target = readShellLink(cut, fromLatin1);
        EXPECT_TRUE(target.path.empty() || target.path == kGamePath || target.path.size() < kGamePath.size())
            << "cut at " << size;
    }
    for (std::size_t at = 0x4C; at + 4 <= whole.size(); ++at) {
        std::vector<unsigned char> damaged = whole;
        for (int i = 0; i < 4; ++i) damaged[at + i] = 0xFF;
        readShellLink(damaged, fromLatin1);
    }
}

// As stores and launchers write them: with a byte-order mark or without, with
// \r\n or \n, a blank line or spaces first, the URL anywhere in the section.
TEST(InternetShortcuts, RecognisedByContentWithTheirUrl) {
    const std::pair<std::string, std::string> kFiles[] = {
        {"\xEF\xBB\xBF[InternetShortcut]\r\nIconIndex=0\r\nURL=steam://rungameid/123\r\n", "steam://rungameid/123"},
        {"[InternetShortcut]\nURL=steam://rungameid/123\n", "steam://rungameid/123"},
        {"\r\n[InternetShortcut]\r\nURL=com.epicgames.launcher://apps/x\r\n", "com.epicgames.launcher://apps/x"},
        {"\n\n \t[InternetShortcut]\nIDList=\nURL=uplay://launch/1/0", "uplay://launch/1/0"},
        {"\xEF\xBB\xBF\r\n[InternetShortcut]\r\nURL=steam://run/7\r\n", "steam://run/7"},
        {"[InternetShortcut]\r\n", ""},
    };
    for (const auto& [text, url] : kFiles) {
        const std::vector<unsigned char> file(text.begin(), text.end());
        EXPECT_EQ(shortcutKind(file), ShortcutKind::InternetShortcut) << text;
        EXPECT_EQ(internetShortcutUrl(file), url) << text;
    }
    for (const std::string text : {"MZ", "[InternetShortcu", "x[InternetShortcut]", "[Internet Shortcut]\n"}) {
        EXPECT_EQ(shortcutKind(std::vector<unsigned char>(text.begin(), text.end())), ShortcutKind::None) << text;
    }
}

struct CheckRun {
    int status;
    std::string out;
    std::string err;
};

CheckRun check(const std::vector<std::string>& args) {
    CheckRun run{};
    run.status = runChecker(args, {}, noProcesses(), &run.out, &run.err);
    return run;
}

// A Wine prefix in the test's folder, as Wine makes one: drive C: its
// drive_c, drive Z: the root of the file system.
std::string makePrefix(const TempFolder& temp, const std::string& name = "prefix") {
    const std::string prefix = temp.make(name);
    temp.make(name + "/drive_c");
    temp.make(name + "/dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    std::filesystem::create_directory_symlink("/", prefix + "/dosdevices/z:");
    // A drive whose disc is not in, or whose USB stick is not mounted.
    std::filesystem::create_directory_symlink("/media/menupatch-test-no-such-disc", prefix + "/dosdevices/e:");
    return prefix;
}

// The Windows name of a Unix path, as Wine gives it on drive Z:.
std::string onDriveZ(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

TEST(CheckerOnShortcuts, FollowsALinkToTheGameAndSaysSo) {
    TempFolder temp;
    const std::string prefix = makePrefix(temp);
    const std::string exe = temp.make("Игры 游戏 🎮") + "/игра.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    ShellLinkParts parts;
    parts.unicodePath = onDriveZ(exe);
    const std::string lnk = prefix + "/drive_c/Игра.lnk";
    writeFile(lnk, shellLinkFile(parts));

    const CheckRun text = check({lnk});
    const CheckRun json = check({"--json", lnk});

    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.substr(0, text.out.find('\n')), "Build A: the plug-in will apply.");
    EXPECT_NE(text.out.find("Shortcut     " + lnk + ", followed to:\nExecutable   " + exe), std::string::npos)
        << text.out;
    EXPECT_NE(json.out.find("\"file\": \"" + exe + "\", \"shortcut\": \"" + lnk + "\""), std::string::npos)
        << json.out;
}

// Windows paths as Wine finds them: through the drive links of the prefix that
// holds the shortcut (else WINEPREFIX), names in any case, relative ones from
// the shortcut's own folder; each part of a path decoded by its own encoding.
struct TargetCase {
    const char* name;
    ShellLinkParts parts;
    std::string shortcut;  // under the test's folder
    bool winePrefix;       // WINEPREFIX names the prefix
    std::string error;     // empty: the game is found
    bool homeWine = false;  // the prefix is ~/.wine
    bool fromItsFolder = false;  // named as ./NAME.lnk from the shortcut's own folder
};

void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.name; }

const TargetCase kTargetCases[] = {
    {"DriveC_NamesInAnotherCase", link([](ShellLinkParts& s) { s.unicodePath = "C:\\GAMES\\my game\\GAME.EXE"; }),
     "prefix/drive_c/users/Public/Desktop/Game.lnk", false, ""},
    {"DotDotStaysOnTheDrive", link([](ShellLinkParts& s) { s.unicodePath = "c:\\..\\..\\Games\\My Game\\game.exe"; }),
     "prefix/drive_c/Game.lnk", false, ""},
    {"UnicodeBaseAnsiSuffix",
     link([](ShellLinkParts& s) { s.unicodePath = "C:\\Games\\"; s.ansiPath = "C:\\Games\\"; s.suffix = "Caf\xE9\\game.exe"; }),
     "prefix/drive_c/Game.lnk", false, ""},
    {"AnsiPathOnly", link([](ShellLinkParts& s) { s.ansiPath = "C:\\Games\\Caf\xE9\\game.exe"; }), "prefix/Game.lnk",
     false, ""},
    {"OutsideThePrefix_WinePrefix", link([](ShellLinkParts& s) { s.unicodePath = "C:\\Games\\My Game\\game.exe"; }),
     "links/Game.lnk", true, ""},
    {"OutsideThePrefix_HomeWine", link([](ShellLinkParts& s) { s.unicodePath = "C:\\Games\\My Game\\game.exe"; }),
     "links/Game.lnk", false, "", true},
    {"OutsideAnyPrefix", link([](ShellLinkParts& s) { s.unicodePath = "C:\\Games\\My Game\\game.exe"; }),
     "links/Game.lnk", false, "it names drive C: and no Wine prefix holds the shortcut"},
    {"DriveNotMapped", link([](ShellLinkParts& s) { s.unicodePath = "D:\\Games\\game.exe"; }), "prefix/drive_c/Game.lnk",
     false, "it names drive D:, which the Wine prefix"},
    {"Relative_FromTheShortcutsFolder", link([](ShellLinkParts& s) { s.relativePath = "..\\Games\\My Game\\game.exe"; }),
     "prefix/drive_c/links/Game.lnk", false, ""},
    {"Relative_Beside", link([](ShellLinkParts& s) { s.relativePath = ".\\GAME.exe"; }),
     "prefix/drive_c/Games/My Game/Game.lnk", false, ""},
    // Named as ./Game.lnk, its folder is still its folder for "..".
    {"Relative_NamedFromItsFolder", link([](ShellLinkParts& s) { s.relativePath = "..\\Games\\My Game\\game.exe"; }),
     "prefix/drive_c/links/Game.lnk", false, "", false, true},
    // ".." stops at the drive's root, as from an absolute path (above it: a decoy).
    {"Relative_DotDotStaysOnTheDrive",
     link([](ShellLinkParts& s) { s.relativePath = "..\\..\\..\\..\\..\\Games\\My Game\\game.exe"; }),
     "prefix/drive_c/users/Public/Desktop/Game.lnk", false, ""},
    // Windows reads the counted path as a string: it ends at a NUL.
    {"Relative_EndsAtANul",
     link([](ShellLinkParts& s) { s.relativePath = ".\\GAME.exe\0\\..\\..\\Games\\My Game\\x.exe"s; }),
     "prefix/drive_c/Games/My Game/Game.lnk", false, ""},
    // Paths as Windows makes them whole: a folder's trailing dot and the file's
    // trailing dots and spaces go; \\?\ and \\.\ before a drive.
    {"TrailingDotsAndSpaces", link([](ShellLinkParts& s) { s.unicodePath = "C:\\Games.\\My Game\\game.exe. . "; }),
     "prefix/drive_c/Game.lnk", false, ""},
    {"Verbatim", link([](ShellLinkParts& s) { s.unicodePath = "\\\\?\\C:\\Games\\My Game\\game.exe"; }),
     "prefix/drive_c/Game.lnk", false, ""},
    {"Device", link([](ShellLinkParts& s) { s.unicodePath = "\\\\.\\c:\\GAMES\\My Game\\..\\My Game\\game.exe"; }),
     "prefix/drive_c/Game.lnk", false, ""},
    {"NetworkPath", link([](ShellLinkParts& s) { s.networkShare = "\\\\server\\games"; s.suffix = "game.exe"; }),
     "prefix/drive_c/Game.lnk", false, "it names a network path (\\\\server\\games\\game.exe), which only Windows can reach"},
};

class CheckerOnShortcutTargets : public testing::TestWithParam<TargetCase> {};

TEST_P(CheckerOnShortcutTargets, FindsTheGameAsWineWould) {
    const TargetCase& c = GetParam();
    TempFolder temp;
    const std::string prefix = makePrefix(temp);
    // Decoys where a wrong resolution of "..\\Games\\My Game" would look: from the
    // working folder, and from a folder named as the shortcut.
    const std::string decoy = "not a game";
    const std::vector<unsigned char> text(decoy.begin(), decoy.end());
    writeFile(temp.make("Games/My Game") + "/game.exe", text);
    const std::string lnk = temp.path + "/" + c.shortcut;
    const std::string folder = std::filesystem::path(lnk).parent_path();
    std::filesystem::create_directories(folder + "/Games/My Game");
    writeFile(folder + "/Games/My Game/game.exe", text);
    writeFile(lnk, shellLinkFile(c.parts));
    writeFile(temp.make("prefix/drive_c/Games/My Game") + "/game.exe", gameExecutable(GameSetup{}));
    writeFile(temp.make("prefix/drive_c/Games/Café") + "/game.exe", gameExecutable(GameSetup{}));
    const std::string home = temp.make("home");
    if (c.homeWine) std::filesystem::create_directory_symlink(prefix, home + "/.wine");
    ScopedEnvironment environment({{"WINEPREFIX", c.winePrefix ? prefix : ""}, {"HOME", home}});
    const std::string before = std::filesystem::current_path();
    std::filesystem::current_path(temp.make("work"));

    if (c.fromItsFolder) std::filesystem::current_path(folder);
    const CheckRun run = check({c.fromItsFolder ? "./" + std::filesystem::path(lnk).filename().string() : lnk});
    std::filesystem::current_path(before);

    if (c.error.empty()) {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "Build A: the plug-in will apply.") << run.err;
    } else {
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(lnk + ": " + c.error), std::string::npos) << run.err;
    }
}

// A drive whose folder is not there is named, with the folder it should be.
TEST(CheckerOnShortcuts, ADriveWhoseFolderIsMissingIsNamed) {
    TempFolder temp;
    const std::string prefix = makePrefix(temp);
    ShellLinkParts parts;
    parts.unicodePath = "E:\\Games\\game.exe";
    const std::string lnk = prefix + "/drive_c/Game.lnk";
    writeFile(lnk, shellLinkFile(parts));

    const CheckRun run = check({lnk});

    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "menupatch-check: " + lnk + ": it names drive E:, which the Wine prefix " + prefix +
                           " maps to /media/menupatch-test-no-such-disc, and that folder is not there (a disc or "
                           "drive not mounted?)\n");
}

INSTANTIATE_TEST_SUITE_P(Shortcuts, CheckerOnShortcutTargets, testing::ValuesIn(kTargetCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckerOnShortcuts, CannotTellWhereNoExecutableIsNamed) {
    TempFolder temp;
    const std::string links = makePrefix(temp) + "/drive_c";
    const std::string url = temp.path + "/Game.url";
    const std::string text = "[InternetShortcut]\nURL=steam://rungameid/123\n";
    writeFile(url, std::vector<unsigned char>(text.begin(), text.end()));
    ShellLinkParts toNothing;
    toNothing.unicodePath = onDriveZ(temp.path + "/gone.exe");
    writeFile(links + "/gone.lnk", shellLinkFile(toNothing));
    ShellLinkParts toLink;
    toLink.unicodePath = onDriveZ(links + "/gone.lnk");
    writeFile(links + "/twice.lnk", shellLinkFile(toLink));

    const CheckRun internet = check({url});
    const std::string written = "\r\n[InternetShortcut]\r\nURL=steam://rungameid/123\r\n";
    writeFile(url, std::vector<unsigned char>(written.begin(), written.end()));
    const CheckRun blankLineFirst = check({url});
    const CheckRun gone = check({links + "/gone.lnk"});
    const CheckRun twice = check({links + "/twice.lnk"});

    EXPECT_EQ(internet.status, 2);
    EXPECT_EQ(internet.out, "");
    EXPECT_NE(internet.err.find(url + ": an internet shortcut (steam://rungameid/123), which starts the game "
                                      "through its store or launcher"),
              std::string::npos)
        << internet.err;
    EXPECT_NE(internet.err.find("Browse local files"), std::string::npos);
    EXPECT_EQ(blankLineFirst.err, internet.err);
    EXPECT_EQ(gone.status, 2);
    EXPECT_EQ(gone.err, "menupatch-check: " + links + "/gone.lnk -> " + temp.path + "/gone.exe: no such file\n");
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("a shortcut to another shortcut"), std::string::npos) << twice.err;
}

}  // namespace
