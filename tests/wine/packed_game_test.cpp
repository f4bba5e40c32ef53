// The substitute host as players' copies of a game may come: packed by UPX,
// or wrapped as a store's DRM wrapper does it (its code encrypted in the file,
// restored by a stub at start). Under Wine the real DLL must patch it exactly
// as it patches the host as built; the file check must say it cannot tell;
// the check of the running game must find the changes in place.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "substitute_host/game_executable.h"
#include "tests/support/drm_wrapper.h"
#include "tests/support/json_reader.h"
#include "tests/wine/wine_host.h"

namespace {

// Writes the host, packed, to `packed`; false with what went wrong.
using Packer = std::function<bool(const std::string& packed, std::string* why)>;

bool packedByUpx(const std::string& packed, std::string* why) {
    const std::string command = "bash '" MENUPATCH_UPX_SCRIPT "' run -q -q -o '" + packed + "' '" +
                                MENUPATCH_SUBSTITUTE_HOST + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    char line[256];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) *why += line;
    return pipe != nullptr && pclose(pipe) == 0;
}

bool wrappedAsDrm(const std::string& packed, std::string* why) {
    std::ifstream in(MENUPATCH_SUBSTITUTE_HOST, std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
    return wrapExecutable(&file, {}, why) && writeFile(packed, file);
}

struct PackedHost {
    const char* name;
    Packer pack;
    const char* sign;  // what the file check says of the packer
};

void PrintTo(const PackedHost& c, std::ostream* out) { *out << c.name; }

const PackedHost kPackedHosts[] = {
    {"Upx", packedByUpx, "UPX's sections (UPX0, UPX1, UPX2)"},
    {"DrmWrapper", wrappedAsDrm, "its entry point lies in section .bind, not in .text"},
};

class PackedHostUnderWine : public testing::TestWithParam<PackedHost> {};

TEST_P(PackedHostUnderWine, PatchedAsTheHostIs_FileCannotTell_RunningGameInPlace) {
    const PackedHost& c = GetParam();
    TempFolder temp;
    const std::string name = std::string(c.name) + "-" + std::filesystem::path(temp.path).filename().string() + ".exe";
    const std::string packed = temp.path + "/" + name;
    std::string why;
    ASSERT_TRUE(c.pack(packed, &why)) << why;
    ASSERT_NE(std::filesystem::file_size(packed), std::filesystem::file_size(MENUPATCH_SUBSTITUTE_HOST));
    const std::string settings = temp.make("settings");
    writeSettingsFile(settings, 2048, {0x01});
    const std::vector<std::string> arguments = {"--build", "A", "--settings", windowsPath(settings), "--start",
                                                windowsPath(temp.make("start"))};

    const HostRun plain = runSubstituteHost(arguments);
    const HostRun run = runSubstituteHost(arguments, packed);
    const ProgramRun text = runChecker({windowsPath(packed)});
    const ProgramRun json = runChecker({"--json", windowsPath(packed)});
    StayingHost host = startStayingHost({"--build", "A"}, temp.path + "/stop", packed);
    const ProgramRun byName = runChecker({"--process", name});
    const ProgramRun fromLinux = runLinuxChecker({"--json", "--process", name});
    // The file dragged while its game runs: the running game answers.
    const ProgramRun dragged = runChecker({windowsPath(packed)});
    const ProgramRun draggedOnLinux = runLinuxChecker({"--json", packed});
    stopStayingHost(host);

    // The same bytes in the game, the same calls, the same second load.
    ASSERT_EQ(run.text("load"), "ok") << run.output;
    EXPECT_EQ(run.text("flag_before"), "0x5");
    EXPECT_EQ(run.text("flag_after"), "0x1");
    EXPECT_EQ(run.number("operand"), run.number("flag_address"));
    for (const auto& [key, value] : plain.report) EXPECT_EQ(run.text(key), value) << key;
    EXPECT_EQ(run.report.size(), plain.report.size());

    EXPECT_EQ(text.exitCode, 2) << text.out << text.err;
    EXPECT_EQ(text.firstLine().rfind("Cannot tell from the file: what the plug-in reads is not in it", 0), 0u)
        << text.out;
    EXPECT_NE(text.out.find(c.sign), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("menupatch-check --process " + name), std::string::npos) << text.out;
    JsonValue report;
    ASSERT_TRUE(parseJson(json.out, &report)) << json.out;
    EXPECT_EQ(report["check"].text, "hidden");
    EXPECT_EQ(report["applies"].kind, JsonValue::Kind::Null);

    ASSERT_NE(host.pid, 0u) << host.output;
    EXPECT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_EQ(byName.firstLine(), "Build A, process " + std::to_string(host.pid) + " (" + name +
                                      "): the plug-in's changes are in place.");
    JsonValue linuxReport;
    ASSERT_TRUE(parseJson(fromLinux.out, &linuxReport)) << fromLinux.out << fromLinux.err;
    EXPECT_EQ(linuxReport["applied"].text, "yes");

    EXPECT_EQ(dragged.exitCode, 0) << dragged.out << dragged.err;
    EXPECT_EQ(dragged.firstLine(), byName.firstLine());
    EXPECT_TRUE(dragged.says("\n\nAnswered by  the running game, process " + std::to_string(host.pid) + " (" + name +
                             "),"))
        << dragged.out;
    EXPECT_NE(dragged.out.find(c.sign), std::string::npos) << dragged.out;
    JsonValue draggedReport;
    ASSERT_TRUE(parseJson(draggedOnLinux.out, &draggedReport)) << draggedOnLinux.out << draggedOnLinux.err;
    EXPECT_EQ(draggedOnLinux.exitCode, 0);
    EXPECT_EQ(draggedReport["check"].text, "hidden");
    ASSERT_EQ(draggedReport["running_games"].items.size(), 1u) << draggedOnLinux.out;
    EXPECT_EQ(draggedReport["running_games"].items[0]["applied"].text, "yes");
}

INSTANTIATE_TEST_SUITE_P(Packers, PackedHostUnderWine, testing::ValuesIn(kPackedHosts),
                         [](const auto& info) { return std::string(info.param.name); });

// A game of build A (a runnable game: it loads menupatch.dll from its folder,
// then sleeps) wrapped with its code substituted byte for byte: bytes with the
// entropy of code that are no code, restored by the stub when the game starts.
// The real DLL applies to it under Wine; its file cannot tell; the running game
// answers, by name and for its dragged file.
TEST(WrappedGameUnderWine, SubstitutedCode_FileCannotTell_RunningGameInPlace) {
    TempFolder temp;
    const std::string name = "substituted-" + std::filesystem::path(temp.path).filename().string() + ".exe";
    const std::string exe = temp.path + "/" + name;
    GameSetup setup;
    ExecutableOptions runnable;
    runnable.runnable = true;
    std::vector<unsigned char> file = gameExecutable(setup, runnable);
    WrapOptions options;
    options.substitute = true;
    std::string why;
    ASSERT_TRUE(wrapExecutable(&file, options, &why)) << why;
    ASSERT_TRUE(writeFile(exe, file));
    std::filesystem::copy_file(std::getenv("MENUPATCH_E2E_DLL"), temp.path + "/menupatch.dll");

    const ProgramRun alone = runChecker({"--json", windowsPath(exe)});
    RunningProgram game = startUnderWine(exe);
    // Until it has loaded the plug-in: a few seconds at most, emulated.
    ProgramRun byName;
    for (int i = 0; i < 30 && byName.exitCode != 0; ++i) {
        if (i != 0) usleep(300000);
        byName = runChecker({"--process", name});
    }
    const ProgramRun dragged = runChecker({windowsPath(exe)});
    const ProgramRun fromLinux = runLinuxChecker({"--json", exe});
    endUnderWine(game);

    EXPECT_EQ(alone.exitCode, 2) << alone.out << alone.err;
    JsonValue report;
    ASSERT_TRUE(parseJson(alone.out, &report)) << alone.out;
    EXPECT_EQ(report["check"].text, "hidden");
    ASSERT_FALSE(report["hidden"].items.empty());
    EXPECT_EQ(report["hidden"].items[0]["not_code"].text, "true") << alone.out;

    EXPECT_EQ(byName.exitCode, 0) << byName.out << byName.err;
    EXPECT_EQ(byName.firstLine().rfind("Build A, process ", 0), 0u) << byName.out;
    EXPECT_NE(byName.firstLine().find("the plug-in's changes are in place."), std::string::npos) << byName.out;
    EXPECT_EQ(dragged.exitCode, 0) << dragged.out << dragged.err;
    EXPECT_EQ(dragged.firstLine(), byName.firstLine());
    JsonValue linuxReport;
    ASSERT_TRUE(parseJson(fromLinux.out, &linuxReport)) << fromLinux.out << fromLinux.err;
    EXPECT_EQ(fromLinux.exitCode, 0);
    ASSERT_EQ(linuxReport["running_games"].items.size(), 1u) << fromLinux.out;
    EXPECT_EQ(linuxReport["running_games"].items[0]["applied"].text, "yes");
    ASSERT_FALSE(linuxReport["hidden"].items.empty());
    EXPECT_EQ(linuxReport["hidden"].items[0]["not_code"].text, "true");
}

}  // namespace
