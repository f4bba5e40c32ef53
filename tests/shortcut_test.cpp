// Shortcuts a player may drag onto menupatch-check: Shell Links read by hand,
// and internet shortcuts, which name no file.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/shortcut.h"
#include "substitute_host/game_executable.h"
#include "tests/shell_link_file.h"
#include "tests/temp_folder.h"

namespace {

struct LinkCase {
    const char* name;
    ShellLinkParts parts;
    std::string path;  // expected target; empty: none
    bool ansi;
    bool relative;
    std::string why;   // a part of the reason when there is no target
};

void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.name; }

ShellLinkParts link(const std::function<void(ShellLinkParts&)>& change) {
    ShellLinkParts parts;
    change(parts);
    return parts;
}

const std::string kGamePath = "C:\\Игры 游戏 🎮\\игра.exe";

const LinkCase kLinkCases[] = {
    {"UnicodePath", link([](ShellLinkParts& s) { s.ansiPath = "C:\\???? ?? ?\\????.exe"; s.unicodePath = kGamePath; }),
     kGamePath, false, false, ""},
    {"AnsiPathOnly", link([](ShellLinkParts& s) { s.ansiPath = "C:\\Games\\game.exe"; }), "C:\\Games\\game.exe", true,
     false, ""},
    {"WithoutItemList", link([](ShellLinkParts& s) { s.itemList = false; s.unicodePath = kGamePath; s.ansiPath = "x"; }),
     kGamePath, false, false, ""},
    {"NetworkShare", link([](ShellLinkParts& s) { s.networkShare = "\\\\server\\games"; s.suffix = "Game\\game.exe"; }),
     "\\\\server\\games\\Game\\game.exe", true, false, ""},
    {"RelativePathOnly", link([](ShellLinkParts& s) { s.relativePath = ".\\Игры\\game.exe"; }), ".\\Игры\\game.exe",
     false, true, ""},
    {"Installer", link([](ShellLinkParts& s) { s.installer = true; s.ansiPath = "C:\\x.exe"; }), "", false, false,
     "an installer's shortcut"},
    {"ItemListOnly", link([](ShellLinkParts&) {}), "", false, false, "names no file"},
};

class ShellLinks : public testing::TestWithParam<LinkCase> {};

TEST_P(ShellLinks, TargetFromTheLinkInfo) {
    const LinkCase& c = GetParam();
    const std::vector<unsigned char> file = shellLinkFile(c.parts);
    ASSERT_EQ(shortcutKind(file), ShortcutKind::ShellLink);

    const ShellLinkTarget target = readShellLink(file);

    EXPECT_EQ(target.path, c.path);
    if (!c.path.empty()) {
        EXPECT_EQ(target.ansi, c.ansi);
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
        const ShellLinkTarget target = readShellLink(cut);
        EXPECT_TRUE(target.path.empty() || target.path == kGamePath || target.path.size() < kGamePath.size())
            << "cut at " << size;
    }
    for (std::size_t at = 0x4C; at + 4 <= whole.size(); ++at) {
        std::vector<unsigned char> damaged = whole;
        for (int i = 0; i < 4; ++i) damaged[at + i] = 0xFF;
        readShellLink(damaged);
    }
}

TEST(InternetShortcuts, RecognisedByContentWithTheirUrl) {
    const std::string text = "\xEF\xBB\xBF[InternetShortcut]\r\nIconIndex=0\r\nURL=steam://rungameid/123\r\n";
    const std::vector<unsigned char> file(text.begin(), text.end());
    EXPECT_EQ(shortcutKind(file), ShortcutKind::InternetShortcut);
    EXPECT_EQ(internetShortcutUrl(file), "steam://rungameid/123");
    EXPECT_EQ(shortcutKind(std::vector<unsigned char>{'M', 'Z'}), ShortcutKind::None);
}

struct CheckRun {
    int status;
    std::string out;
    std::string err;
};

CheckRun check(const std::vector<std::string>& args) {
    CheckRun run{};
    run.status = runChecker(args, {}, &run.out, &run.err);
    return run;
}

TEST(CheckerOnShortcuts, FollowsALinkToTheGameAndSaysSo) {
    TempFolder temp;
    const std::string exe = temp.make("Игры 游戏 🎮") + "/игра.exe";
    writeFile(exe, gameExecutable(GameSetup{}));
    ShellLinkParts parts;
    parts.unicodePath = exe;
    const std::string lnk = temp.path + "/Игра.lnk";
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

TEST(CheckerOnShortcuts, CannotTellWhereNoExecutableIsNamed) {
    TempFolder temp;
    const std::string url = temp.path + "/Game.url";
    const std::string text = "[InternetShortcut]\nURL=steam://rungameid/123\n";
    writeFile(url, std::vector<unsigned char>(text.begin(), text.end()));
    ShellLinkParts toNothing;
    toNothing.unicodePath = temp.path + "/gone.exe";
    writeFile(temp.path + "/gone.lnk", shellLinkFile(toNothing));
    ShellLinkParts toLink;
    toLink.unicodePath = temp.path + "/gone.lnk";
    writeFile(temp.path + "/twice.lnk", shellLinkFile(toLink));

    const CheckRun internet = check({url});
    const CheckRun gone = check({temp.path + "/gone.lnk"});
    const CheckRun twice = check({temp.path + "/twice.lnk"});

    EXPECT_EQ(internet.status, 2);
    EXPECT_EQ(internet.out, "");
    EXPECT_NE(internet.err.find(url + ": an internet shortcut (steam://rungameid/123), which starts the game "
                                      "through its store or launcher"),
              std::string::npos)
        << internet.err;
    EXPECT_NE(internet.err.find("Browse local files"), std::string::npos);
    EXPECT_EQ(gone.status, 2);
    EXPECT_EQ(gone.err, "menupatch-check: " + temp.path + "/gone.lnk -> " + temp.path + "/gone.exe: no such file\n");
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("a shortcut to another shortcut"), std::string::npos) << twice.err;
}

}  // namespace
