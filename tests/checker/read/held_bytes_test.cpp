// What an executable's file holds of the bytes the plug-in reads: each edge of
// the file's data, the window the entropy is measured over, the threshold at
// each window size, and the signs of a packer.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "checker/read/held_bytes.h"
#include "checker/read/pe_image.h"
#include "substitute_host/game_executable.h"
#include "tests/support/drm_wrapper.h"

namespace {

// Build A as write_game writes it: the stub's code, the game's code (whole in
// the file), its data (its zeros left to the loader), the probe page (whole).
constexpr std::size_t kGameCode = 1;

using Change = std::function<void(ExeLayout&)>;

// Build A, changed, and `cut` bytes off its end.
PeImage imageOf(const Change& change = {}, std::size_t cut = 0) {
    ExeLayout layout = gameLayout(GameSetup{}, gameBytesOf(GameSetup{}));
    if (change) change(layout);
    std::vector<unsigned char> file = writeExecutable(layout);
    file.resize(file.size() - cut);
    PeImage image;
    const ImageReading reading = readPeImage(file, &image);
    EXPECT_EQ(reading.problem, ImageProblem::None) << reading.why;
    return image;
}

// The game's code with only its first page of data in the file.
void codeDataOnePage(ExeLayout& layout) {
    layout.sections[kGameCode].rawSize = kPageSize;
    layout.sections[kGameCode].data.resize(kPageSize);
}

struct HeldCase {
    const char* name;
    Change change;
    std::size_t cut;
    HostAddress address;
    std::uint32_t size;
    Held held;
    const char* section;
};

TEST(HeldBytes, EachEdgeOfTheFilesData) {
    const HeldCase kCases[] = {
        {"CodeWhole", {}, 0, kA.pageSlot, 4, Held::InFile, ""},
        {"LastBytesOfTheData", codeDataOnePage, 0, kCodeBase + kPageSize - 4, 4, Held::InFile, ""},
        {"OneByteOut", codeDataOnePage, 0, kCodeBase + kPageSize - 3, 4, Held::PastRawData, ".text"},
        {"PastTheData", codeDataOnePage, 0, kA.pageSlot, 4, Held::PastRawData, ".text"},
        {"NoData",
         [](ExeLayout& l) {
             l.sections[kGameCode].data.clear();
             l.sections[kGameCode].rawSize = 0;
             l.sections[kGameCode].rawOffset = 0;
         },
         0, kA.pageSlot, 4, Held::NoRawData, ".text"},
        // The probe page's data is the file's last: cut inside its last sector,
        // which the loader still maps, with zeros for what the file lacks.
        {"FileCutShort", {}, 0x100, kGameEnd - 0x100 - 4, 4, Held::InFile, ""},
        {"FileCutShort_OneByteOut", {}, 0x100, kGameEnd - 0x100 - 3, 4, Held::PastEndOfFile, ".text"},
        {"DataZerosLeftToTheLoader", {}, 0, kProbePage - 4, 4, Held::PastRawData, ".data"},
        {"Headers", {}, 0, 0x400000, 4, Held::InFile, ""},
        {"Outside", {}, 0, 0x300000, 4, Held::NotMapped, ""},
    };
    for (const HeldCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const PeImage image = imageOf(c.change, c.cut);
        const HeldRange held = fileHolds(image, c.address, c.size);
        EXPECT_EQ(static_cast<int>(held.held), static_cast<int>(c.held));
        EXPECT_EQ(held.section != nullptr ? held.section->name : "", c.section);
    }
}

// Centred on the bytes read, kept inside the run of file bytes, never larger than it.
TEST(HeldBytes, EntropyWindowStaysInsideTheFilesRun) {
    const PeImage whole = imageOf();
    EXPECT_EQ(entropyAround(whole, kA.pageSlot, 4).window, kEntropyWindow);
    EXPECT_EQ(entropyAround(whole, kCodeBase, 4).window, kEntropyWindow) << "at the run's start";
    EXPECT_EQ(entropyAround(whole, kCodeBase + kCodeSize - 4, 4).window, kEntropyWindow) << "at its end";

    const PeImage small = imageOf([](ExeLayout& l) {
        l.sections[kGameCode].rawSize = 0x600;
        l.sections[kGameCode].data.resize(0x600);
    });
    EXPECT_EQ(entropyAround(small, kCodeBase + 0x10, 4).window, 0x600u);
    EXPECT_EQ(entropyAround(small, kCodeBase + 0x600, 4).window, 0u) << "not the file's";
}

std::vector<unsigned char> evenly(std::uint32_t values, std::uint32_t each) {
    std::vector<unsigned char> bytes;
    for (std::uint32_t v = 0; v < values; ++v) bytes.insert(bytes.end(), each, static_cast<unsigned char>(v));
    return bytes;
}

// The measure, and the threshold at each window size: the value at the edge
// is plain, a step past it packed; under 256 bytes nothing counts as packed.
TEST(HeldBytes, EntropyAndTheThresholdAtItsEdges) {
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        double bits;
        bool packed;
    };
    std::vector<unsigned char> oneStepPast = evenly(126, 4);
    for (unsigned char v = 200; v < 208; ++v) oneStepPast.push_back(v);  // 126 values 4 times, 8 once: 7.03
    const Case kCases[] = {
        {"Constant", std::vector<unsigned char>(4096, 0), 0.0, false},
        {"TwoValues", evenly(2, 2048), 1.0, false},
        {"EveryValueAlike", evenly(256, 16), 8.0, true},
        {"AtTheEdge_512", evenly(128, 4), 7.0, false},
        {"OneStepPast_512", oneStepPast, 7.03125, true},
        {"TooFewToTell_255", evenly(255, 1), 7.99435, false},
        {"Fewest_256", evenly(256, 1), 8.0, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const Entropy entropy = entropyOf(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()));
        EXPECT_NEAR(entropy.bitsPerByte, c.bits, 1e-5);
        EXPECT_EQ(entropy.window, c.bytes.size());
        EXPECT_EQ(looksPacked(entropy), c.packed);
    }
    const std::pair<std::uint32_t, double> kThresholds[] = {{255, 8.0},   {256, 6.6},   {511, 6.6},  {512, 7.0},
                                                            {1023, 7.0},  {1024, 7.2},  {2047, 7.2}, {2048, 7.3},
                                                            {4096, 7.3}};
    for (const auto& [window, bits] : kThresholds) EXPECT_DOUBLE_EQ(packedEntropyFor(window), bits) << window;
}

TEST(HeldBytes, SignsOfAPacker) {
    struct Case {
        const char* name;
        std::function<std::vector<unsigned char>()> file;
        std::vector<std::string> upx;
        std::string entry;
        bool entryOutsideCode;
    };
    const auto wrapped = [] {
        std::vector<unsigned char> file = gameExecutable(GameSetup{});
        std::string why;
        EXPECT_TRUE(wrapExecutable(&file, {}, &why)) << why;
        return file;
    };
    const auto renamed = [] {
        ExeLayout layout = gameLayout(GameSetup{}, gameBytesOf(GameSetup{}));
        layout.sections[0].name = "UPX0";
        layout.sections[1].name = "UPX1";
        return writeExecutable(layout);
    };
    const auto entryAt = [](std::uint32_t rva) {
        return [rva] {
            ExeLayout layout = gameLayout(GameSetup{}, gameBytesOf(GameSetup{}));
            layout.entryPoint = rva;
            return writeExecutable(layout);
        };
    };
    const Case kCases[] = {
        {"Plain", [] { return gameExecutable(GameSetup{}); }, {}, ".text", false},
        {"Wrapped", wrapped, {}, ".bind", true},
        {"UpxNames", renamed, {"UPX0", "UPX1"}, "UPX0", false},
        {"EntryInTheGamesData", entryAt(kDataBase - 0x400000), {}, ".data", true},
        {"NoEntry", entryAt(0), {}, "", false},
        {"EntryOutsideTheImage", entryAt(0x10000000), {}, "", true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        PeImage image;
        ASSERT_EQ(readPeImage(c.file(), &image).problem, ImageProblem::None);
        const PackerSigns signs = packerSigns(image);
        EXPECT_EQ(signs.upxSections, c.upx);
        EXPECT_EQ(signs.entrySection, c.entry);
        EXPECT_EQ(signs.entryOutsideCode, c.entryOutsideCode);
    }
}

}  // namespace
