// The executables beside the one a player checked: that folder only, regular
// files named *.exe in any case, not itself, largest first, and no more than asked.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "checker/find/beside.h"
#include "substitute_host/game_executable.h"
#include "tests/support/temp_folder.h"

namespace {

void writeBytes(const std::string& path, std::size_t size) { writeFile(path, std::vector<unsigned char>(size, 'x')); }

TEST(ExecutablesBeside, RegularFilesNamedExeLargestFirstAtMostAsAsked) {
    TempFolder temp;
    writeBytes(temp.path + "/launcher.exe", 10);
    writeBytes(temp.path + "/small.exe", 20);
    writeBytes(temp.path + "/Large.EXE", 300);
    writeBytes(temp.path + "/middle.Exe", 200);
    writeBytes(temp.path + "/same-a.exe", 100);
    writeBytes(temp.path + "/same-b.exe", 100);
    // Not executables by name, or not files: passed over, never opened.
    writeBytes(temp.path + "/notes.txt", 1000);
    writeBytes(temp.path + "/exe", 1000);
    writeBytes(temp.path + "/.exe", 1000);
    writeBytes(temp.make("sub") + "/deeper.exe", 1000);
    std::filesystem::create_directory(temp.path + "/folder.exe");
    ASSERT_EQ(mkfifo((temp.path + "/pipe.exe").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", temp.path + "/device.exe");
    std::filesystem::create_symlink(temp.path + "/nowhere", temp.path + "/dangling.exe");
    // A link to a file is the file it names.
    std::filesystem::create_symlink(temp.path + "/notes.txt", temp.path + "/linked.exe");

    const Beside all = executablesBeside(temp.path + "/launcher.exe", 16);
    const std::vector<std::string> expected = {temp.path + "/linked.exe", temp.path + "/Large.EXE",
                                               temp.path + "/middle.Exe", temp.path + "/same-a.exe",
                                               temp.path + "/same-b.exe", temp.path + "/small.exe"};
    EXPECT_EQ(all.paths, expected);
    EXPECT_EQ(all.more, 0u);

    const Beside three = executablesBeside(temp.path + "/launcher.exe", 3);
    EXPECT_EQ(three.paths, std::vector<std::string>(expected.begin(), expected.begin() + 3));
    EXPECT_EQ(three.more, 3u);

    // Named by a relative path, the neighbours are named as it is.
    const std::string here = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(temp.path.c_str()), 0);
    const Beside bare = executablesBeside("small.exe", 1);
    ASSERT_EQ(chdir(here.c_str()), 0);
    EXPECT_EQ(bare.paths, std::vector<std::string>{"linked.exe"});
    EXPECT_EQ(bare.more, 5u);
}

}  // namespace
