// The shipped DLL under a real PE loader: one substitute-host process per case.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "substitute_host/game_layout.h"
#include "tests/support/expected_rows.h"
#include "tests/wine/wine_host.h"

namespace {

constexpr long kPageExecuteRead = 0x20;
constexpr long kPageExecuteReadWrite = 0x40;
constexpr long kPageExecuteWriteCopy = 0x80;  // how image pages made writable report
constexpr unsigned char kStartFolderByte = 0x42;

// ReadOnly...: the game may read its settings file but not write it, or not
// write into its folder. Wine keeps the read-only attribute as the Unix mode,
// which root passes over: the file or folder is made immutable as well.
enum class Settings { File, ShortFile, NoFile, FolderInstead, ReadOnlyFile, ReadOnlyFolder };

// Write-protects a file or folder, for root too, while it lives.
struct WriteProtection {
    std::string path;
    bool on = false;

    bool set(const std::string& target, bool immutable) {
        const int fd = open(target.c_str(), O_RDONLY | O_NONBLOCK);
        int flags = 0;
        bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0) close(fd);
        return done;
    }
    // False when this machine cannot hold root off (no such flag on its file system).
    bool protect(const std::string& target) {
        std::filesystem::permissions(target, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                                 std::filesystem::perms::others_write,
                                     std::filesystem::perm_options::remove);
        path = target;
        on = set(target, true);
        return on || geteuid() != 0;
    }
    ~WriteProtection() {
        if (on) set(path, false);
    }
};

struct LoadCase {
    const char* name;
    const char* build;  // as the host's --build takes it
    HostProfile expected;
    Settings settings;
    std::vector<unsigned char> fileBytes;  // from byte 1466 on
    bool codeWritable;
    unsigned char flagAfter;
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

// clang-format off
const LoadCase kLoadCases[] = {
    {"BuildA",              "A",  kA, Settings::File,          {0x01},       false, 0x01},
    {"BuildB",              "B",  kB, Settings::File,          {0x01},       false, 0x01},
    {"BuildC",              "C",  kC, Settings::File,          {0x01},       false, 0x01},
    {"BothSignatures_A",    "AB", kA, Settings::File,          {0x01},       false, 0x01},
    {"FileByte00",          "A",  kA, Settings::File,          {0x00},       false, 0x00},
    {"FileByte73_Off",      "A",  kA, Settings::File,          {0x73},       false, 0x00},
    {"FileByteFF",          "B",  kB, Settings::File,          {0xFF},       false, 0xFF},
    // Bytes a file opened as text would turn into end of file, or drop.
    {"FileByte1A_NotEndOfFile", "A", kA, Settings::File,       {0x1A},       false, 0x1A},
    {"FileBytes0D0A_NotJoined", "C", kC, Settings::File,       {0x0D, 0x0A}, false, 0x0D},
    {"ShortFile",           "A",  kA, Settings::ShortFile,     {0x01},       false, kGameFlag},
    {"NoFile",              "C",  kC, Settings::NoFile,        {0x01},       false, kGameFlag},
    {"FolderNamedLikeFile", "A",  kA, Settings::FolderInstead, {0x01},       false, kGameFlag},
    {"CodeAlreadyWritable", "A",  kA, Settings::File,          {0x01},       true,  0x01},
    {"ReadOnlyFile",        "B",  kB, Settings::ReadOnlyFile,  {0x01},       false, 0x01},
    {"ReadOnlyFolder",      "C",  kC, Settings::ReadOnlyFolder, {0xFF},      false, 0xFF},
};
// clang-format on

class LoadIntoSubstituteHost : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadIntoSubstituteHost, PatchesExactlyTheBuildsBytesInOrder) {
    const LoadCase& c = GetParam();
    TempFolder temp;
    const std::string settings = temp.make("settings");
    const std::string start = temp.make("start");
    // Read before the game entered its settings folder, this would show.
    writeSettingsFile(start, 2048, {kStartFolderByte});
    WriteProtection protection;
    switch (c.settings) {
        case Settings::File: writeSettingsFile(settings, 2048, c.fileBytes); break;
        case Settings::ShortFile: writeSettingsFile(settings, 1466, c.fileBytes); break;
        case Settings::NoFile: break;
        case Settings::FolderInstead: temp.make("settings/korvan.set"); break;
        case Settings::ReadOnlyFile:
        case Settings::ReadOnlyFolder:
            writeSettingsFile(settings, 2048, c.fileBytes);
            if (!protection.protect(c.settings == Settings::ReadOnlyFile ? settings + "/korvan.set" : settings)) {
                GTEST_SKIP() << "this file system cannot write-protect a file from root";
            }
            break;
    }
    std::vector<std::string> args = {"--build", c.build, "--settings", windowsPath(settings),
                                     "--start", windowsPath(start)};
    if (c.codeWritable) args.push_back("--code-writable");

    const HostRun run = runSubstituteHost(args);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.text("load"), "ok") << run.output;
    const HostProfile& b = c.expected;
    const long flagAddress = flagAddressOf(b);

    // What the load leaves behind.
    EXPECT_EQ(run.text("build"), nameOf(b));
    EXPECT_EQ(run.text("rows"), hexOf(expectedRowBlock()));
    EXPECT_EQ(run.number("operand"), flagAddress);
    EXPECT_EQ(run.number("flag_after"), c.flagAfter);
    if (c.codeWritable) {
        EXPECT_TRUE(run.number("protection_before") == kPageExecuteReadWrite ||
                    run.number("protection_before") == kPageExecuteWriteCopy);
    } else {
        EXPECT_EQ(run.number("protection_before"), kPageExecuteRead);
    }
    EXPECT_EQ(run.number("protection_after"), run.number("protection_before"));
    EXPECT_EQ(run.number("changed_outside"), 0) << "first at " << run.text("changed_outside_first");
    EXPECT_EQ(run.number("handles_after"), run.number("handles_before"));

    // Order, as the game's routines saw it.
    EXPECT_EQ(run.number("enter_calls"), 1);
    EXPECT_EQ(run.number("enter_operand_written"), 1);
    EXPECT_EQ(run.number("enter_rows_written"), 1);
    EXPECT_EQ(run.number("enter_flag"), kGameFlag);
    EXPECT_EQ(run.number("setdir_calls"), 1);
    EXPECT_EQ(run.text("setdir_argument"), "\"\"");
    EXPECT_EQ(run.number("setdir_flag"), c.flagAfter);
    const bool fileThere = c.settings != Settings::NoFile && c.settings != Settings::FolderInstead;
    EXPECT_EQ(run.text("setdir_file"), fileThere ? "closed" : "absent");
    EXPECT_EQ(run.text("setdir_stack"), "kept") << "the caller took back the argument's slot";

    // Thread attach and detach, and unloading, change nothing; a second load acts again.
    EXPECT_EQ(run.number("thread_changes"), 0);
    EXPECT_EQ(run.number("free_changes"), 0);
    EXPECT_EQ(run.text("second_load"), "ok");
    EXPECT_EQ(run.text("second_rows"), hexOf(expectedRowBlock()));
    EXPECT_EQ(run.number("second_operand"), flagAddress);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadIntoSubstituteHost, testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

struct UnfitHostCase {
    const char* name;
    std::vector<std::string> args;
    bool patched;
};

void PrintTo(const UnfitHostCase& c, std::ostream* out) { *out << c.name; }

const UnfitHostCase kUnfitHostCases[] = {
    {"PageBaseNull", {"--build", "A", "--page-base", "0"}, false},
    {"FlagAddressUncommitted", {"--build", "B", "--flag-address", "unmapped"}, false},
    {"PageBaseInExecuteReadCode", {"--build", "A", "--page-base", "0x48D000"}, false},
    {"RoutinesNotExecutable", {"--build", "C", "--routines-noexec"}, false},
    // The rows start on build A's writable menu page and run into a read-only one.
    {"RowsCrossIntoReadOnlyPage",
     {"--build", "A", "--page-base", "0x5A1BE8", "--readonly-page", "0x5A2000"}, false},
    {"FlagByteOnGuardPage", {"--build", "B", "--guard-page", "0x5A8010"}, false},
    {"ProbeNoAccess_PatchedAsC", {"--build", "C", "--signatures", "A", "--probe-noaccess"}, true},
};

class UnfitSubstituteHost : public testing::TestWithParam<UnfitHostCase> {};

TEST_P(UnfitSubstituteHost, SurvivesLoadsAndChangesOnlyWhatTheCaseSays) {
    const UnfitHostCase& c = GetParam();
    TempFolder temp;
    const std::string settings = temp.make("settings");
    writeSettingsFile(settings, 2048, {0x01});
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--settings", windowsPath(settings), "--start", windowsPath(temp.make("start"))});

    const HostRun run = runSubstituteHost(args);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.text("load"), "ok") << run.output;
    EXPECT_EQ(run.number("handles_after"), run.number("handles_before"));
    if (c.patched) {
        EXPECT_EQ(run.text("rows"), hexOf(expectedRowBlock()));
        EXPECT_EQ(run.number("operand"), run.number("flag_address"));
        EXPECT_EQ(run.number("flag_after"), 0x01);
        EXPECT_EQ(run.number("changed_outside"), 0) << "first at " << run.text("changed_outside_first");
    } else {
        EXPECT_EQ(run.number("changed_total"), 0) << "first at " << run.text("changed_total_first");
        EXPECT_EQ(run.number("enter_calls"), 0);
        EXPECT_EQ(run.number("setdir_calls"), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UnfitSubstituteHost, testing::ValuesIn(kUnfitHostCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The host's stack check catches what it is there for: a plug-in that takes
// the string routine for one that removes its own argument.
TEST(SubstituteHostStackCheck, CatchesACallerThatTakesBackTheArgumentsSlot) {
    TempFolder temp;
    const HostRun run = runSubstituteHost({"--dll", windowsPath(MENUPATCH_WRONG_CONVENTION_DLL), "--build", "A",
                                           "--settings", windowsPath(temp.make("settings")),
                                           "--start", windowsPath(temp.make("start"))});
    ASSERT_EQ(run.text("load"), "ok") << run.output;
    EXPECT_EQ(run.number("setdir_calls"), 1);
    EXPECT_EQ(run.text("setdir_stack"), "taken_back");
}

// Many hosts with arbitrary slot values and page protections, in one process:
// no crash, no failed load, nothing written outside what the sequence may write.
TEST(RandomHosts, NoCrashAndNoByteOutsideTheAllowedRanges) {
    const char* seed = std::getenv("MENUPATCH_RANDOM_SEED");
    TempFolder temp;
    const std::string settings = temp.make("settings");
    writeSettingsFile(settings, 2048, {0x01});

    const HostRun run = runSubstituteHost({"--random", seed != nullptr ? seed : "20261210",
                                           "--count", "3000", "--seconds", "120",
                                           "--settings", windowsPath(settings),
                                           "--start", windowsPath(temp.make("start"))});

    std::cout << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find(", 0 failures"), std::string::npos) << run.output;
    // A slow machine that ran out of time must not pass on fewer hosts.
    EXPECT_NE(run.output.find("random hosts: 3000 tried"), std::string::npos) << run.output;
}

}  // namespace
