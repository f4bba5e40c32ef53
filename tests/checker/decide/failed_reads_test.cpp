// A read of the game that fails where the source says the bytes are (a file
// view, or a running game that ends meanwhile), at any place the check reads:
// no verdict is built on bytes that were not read, and the check says where.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/decide/game_check.h"
#include "substitute_host/game_executable.h"
#include "tests/support/checker_run.h"
#include "tests/support/temp_folder.h"

namespace {

struct Place {
    const char* name;
    const char* build;     // the game laid out as this build
    HostAddress address;   // a read that covers it fails
    const char* read;      // the read the check says failed
    bool runningReadsIt;   // the check of a running game reads it too
};

constexpr HostAddress kRowsA = pageBaseOf(kA) + kRowsOffset;

const Place kPlaces[] = {
    {"BuildAsSignature", "C", kProbeA, "4 bytes at 0x667BF0", true},
    {"BuildBsSignature", "C", kProbeB + 3, "4 bytes at 0x667C40", true},
    {"PageSlot", "A", kA.pageSlot, "4 bytes at 0x4966A0", true},
    {"FlagSourceSlot", "A", kA.flagSourceSlot + 1, "4 bytes at 0x48FEB0", true},
    {"Operand", "A", kA.flagDestSlot, "4 bytes at 0x4902D2", true},
    {"RowsFirstByte", "A", kRowsA, "162 bytes at 0x5A13C8", true},
    {"RowsLastByte", "A", kRowsA + 161, "162 bytes at 0x5A13C8", true},
    {"FlagByte", "A", 0x5A8000, "1 byte at 0x5A8000", false},
};

// The image's own answers, but for reads that cover the failing place.
GameSource failingAt(const PeImage& image, HostAddress place) {
    return {[&image](HostAddress a) { return imageRegion(image, a); },
            [&image, place](HostAddress a, unsigned char* out, std::uint32_t size) {
                if (place >= a && place - a < size) return false;
                return readImage(image, a, out, size);
            }};
}

TEST(FailedReads, CannotTellAndSayWhereAtEachPlaceTheCheckReads) {
    for (const Place& p : kPlaces) {
        SCOPED_TRACE(p.name);
        GameSetup setup;
        setupOfBuild(p.build, &setup);
        PeImage image;
        ASSERT_EQ(readPeImage(gameExecutable(setup), &image).problem, ImageProblem::None);
        TempFolder temp;

        const FileCheck file = checkGameFile(failingAt(image, p.address), image, settingsFolderAsIs(temp.path));
        EXPECT_TRUE(file.readFailed);
        EXPECT_EQ(file.problem, std::string("the game's memory could not be read (") + p.read + ")");

        // The same game running, with the plug-in's changes in place or not:
        // asked for by its id, and found with nothing named.
        FakeProcess game;
        game.pid = 4321;
        game.name = "game.exe";
        game.image = std::make_shared<PeImage>(image);
        game.failsAt = p.address;
        const Processes running = fakeProcesses(std::make_shared<std::vector<FakeProcess>>(1, game));
        const CheckerRun byPid = check({"--json", "--pid", "4321"}, {}, running);
        const CheckerRun found = check({"--json"}, {}, running);
        if (p.runningReadsIt) {
            EXPECT_EQ(byPid.status, 2) << byPid.out;
            EXPECT_EQ(byPid.out, "");
            EXPECT_EQ(byPid.err.rfind("menupatch-check: process 4321: ", 0), 0u) << byPid.err;
            EXPECT_NE(byPid.err.find(std::string(" (") + p.read + ")\n"), std::string::npos) << byPid.err;
            // The signature was not read: only a game with the plug-in loaded is found at all.
            EXPECT_EQ(found.status, 2) << found.out;
        } else {
            EXPECT_EQ(byPid.status, 1) << byPid.err;
            EXPECT_EQ(found.status, 1) << found.out;
        }
    }
}

// Where nothing fails, the same games are told about: the failures above are
// the places', not the sources'.
TEST(FailedReads, NoFailureNoProblem) {
    for (const char* build : {"A", "C"}) {
        GameSetup setup;
        setupOfBuild(build, &setup);
        PeImage image;
        ASSERT_EQ(readPeImage(gameExecutable(setup), &image).problem, ImageProblem::None);
        TempFolder temp;
        const FileCheck file = checkGameFile(failingAt(image, 0x300000), image, settingsFolderAsIs(temp.path));
        EXPECT_EQ(file.problem, "") << build;
        EXPECT_EQ(file.check, HostCheck::Fit) << build;
    }
}

}  // namespace
