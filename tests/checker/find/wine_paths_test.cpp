// How a shortcut's Windows path is made whole and found on Linux, each rule at
// its edge: the same rules that tests/wine/wine_names_test.cpp holds to what
// Wine itself opens, pinned here without Wine.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "checker/find/wine_paths.h"
#include "substitute_host/game_executable.h"
#include "tests/support/temp_folder.h"

namespace {

struct PathCase {
    const char* windowsPath;
    bool relative;
    const char* reached;  // from drive C:'s folder; or, after '!', words of the refusal
};

// Where the game is, and what a path that reaches something else reaches.
constexpr char kGame[] = "Games/My Game/game.exe";

const PathCase kPaths[] = {
    // Separators of both kinds, doubled or not; names in any case; a drive letter in either.
    {"C:\\Games\\My Game\\game.exe", false, kGame},
    {"C:/Games/My Game/game.exe", false, kGame},
    {"C:\\Games/My Game\\game.exe", false, kGame},
    {"C:\\Games\\\\My Game\\\\game.exe", false, kGame},
    {"c:\\GAMES\\MY GAME\\GAME.EXE", false, kGame},
    // A trailing separator names a folder, of either kind.
    {"C:\\Games\\My Game\\game.exe\\", false, "!ends in a separator"},
    {"C:\\Games\\My Game\\game.exe/", false, "!ends in a separator"},
    // "." goes, ".." takes a name back, and no further than the drive's root.
    {"C:\\Games\\.\\My Game\\.\\game.exe", false, kGame},
    {"C:\\Games\\My Game\\..\\..\\Games\\My Game\\game.exe", false, kGame},
    {"C:\\..\\Games\\My Game\\game.exe", false, kGame},
    {"C:\\..\\..\\..\\..\\Games\\My Game\\game.exe", false, kGame},
    // A folder's name loses one trailing dot, not two, and no space; the file's
    // name every trailing dot and space.
    {"C:\\Games.\\My Game\\game.exe", false, kGame},
    {"C:\\Games..\\My Game\\game.exe", false, "Games./My Game/game.exe"},
    {"C:\\Games \\My Game\\game.exe", false, "Games /My Game/game.exe"},
    {"C:\\Games\\My Game\\game.exe.", false, kGame},
    {"C:\\Games\\My Game\\game.exe  ", false, kGame},
    {"C:\\Games\\My Game\\game.exe. . ", false, kGame},
    {"C:\\Games\\My Game\\game .exe", false, "Games/My Game/game .exe"},
    // Taken as written after \\?\ (or \??\): nothing trimmed, and "." or ".." refused.
    {"\\\\?\\C:\\Games\\My Game\\game.exe", false, kGame},
    {"\\??\\C:\\Games\\My Game\\game.exe", false, kGame},
    {"\\\\?\\C:\\Games\\My Game\\game.exe.", false, "Games/My Game/game.exe."},
    {"\\\\?\\C:\\Games\\My Game\\..\\My Game\\game.exe", false, "!taken as written"},
    {"\\\\?\\C:\\Games\\.\\My Game\\game.exe", false, "!taken as written"},
    // There a slash is part of the name, not a separator: no name holds one.
    {"\\\\?\\C:\\Games/My Game\\game.exe", false, "!a name holding \"/\""},
    {"\\??\\C:/Games\\My Game\\game.exe", false, "!a name holding \"/\""},
    // \\.\ before a drive is the drive, made whole as any path.
    {"\\\\.\\C:\\Games\\My Game\\..\\My Game\\game.exe. ", false, kGame},
    // What names no drive of the prefix.
    {"\\\\server\\games\\game.exe", false, "!a network path"},
    {"//server/games/game.exe", false, "!a network path"},
    {"D:\\Games\\game.exe", false, "!does not map"},
    {"1:\\Games\\game.exe", false, "!names no drive"},
    {"Games\\My Game\\game.exe", false, "!names no drive"},
    // Relative to the shortcut's folder (drive_c/links/deep), on its drive.
    {"..\\..\\Games\\My Game\\game.exe", true, kGame},
    {"..\\..\\..\\..\\..\\..\\Games\\My Game\\game.exe", true, kGame},
    {".\\..\\..\\GAMES\\my game\\Game.exe", true, kGame},
    {"C:\\Games\\My Game\\game.exe", true, kGame},
};

TEST(WinePathsNatively, EachStepOfMakingAPathWhole) {
    TempFolder temp;
    const std::string prefix = temp.make("prefix");
    const std::string driveC = temp.make("prefix/drive_c");
    temp.make("prefix/dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    writeFile(temp.make("prefix/drive_c/Games/My Game") + "/game.exe", {'M', 'Z'});
    const std::string links = temp.make("prefix/drive_c/links/deep");
    const std::string root = std::filesystem::canonical(driveC).string() + "/";

    for (const PathCase& c : kPaths) {
        SCOPED_TRACE(c.windowsPath);
        std::string reached;
        std::string why;
        const bool found = unixPathOf(c.windowsPath, c.relative, {links, "", ""}, &reached, &why);
        const std::string expected = c.reached;
        if (expected[0] == '!') {
            EXPECT_FALSE(found) << reached;
            EXPECT_NE(why.find(expected.substr(1)), std::string::npos) << why;
        } else {
            EXPECT_TRUE(found) << why;
            EXPECT_EQ(reached, root + expected);
        }
    }
}

}  // namespace
