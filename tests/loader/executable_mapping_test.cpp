// The executable reader maps a file as the loader does. Each named layout says
// what the checker makes of it and what stands where once mapped; the loader
// comparison holds Wine's loader to the same layouts.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/read/pe_image.h"
#include "text/text.h"
#include "tests/support/fake_processes.h"
#include "tests/support/json_reader.h"
#include "tests/loader/loader_layouts.h"
#include "tests/support/temp_folder.h"

namespace {

class NamedLayouts : public testing::TestWithParam<std::size_t> {};

TEST_P(NamedLayouts, VerdictAndWhatStandsWhereOnceMapped) {
    const NamedLayout& c = namedLayouts()[GetParam()];
    const std::vector<unsigned char> file = fileOf(c.layout);
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, file);

    std::string out;
    std::string err;
    const int status = runChecker({"--json", exe}, {}, noProcesses(), &out, &err);

    EXPECT_EQ(status, c.checkerStatus) << err;
    if (c.checkerStatus == 2) {
        // Refused in a line on stderr; or, where the file hides what the plug-in reads, said in the report.
        EXPECT_NE((err + out).find(c.refusal), std::string::npos) << err << out;
    } else {
        JsonValue report;
        ASSERT_TRUE(parseJson(out, &report)) << out;
        EXPECT_EQ(report["build"].text, c.build);
    }
    PeImage image;
    const ImageReading reading = readPeImage(file, &image);
    for (const MappedProbe& probe : c.probes) {
        SCOPED_TRACE("at " + hexNumber(probe.address));
        ASSERT_EQ(reading.problem, ImageProblem::None) << reading.why;
        const HostRegion region = imageRegion(image, probe.address);
        EXPECT_EQ(region.committed, probe.protection != 0);
        if (!region.committed) continue;
        EXPECT_EQ(hexNumber(region.protection), hexNumber(probe.protection));
        std::vector<unsigned char> bytes(probe.bytes.size());
        ASSERT_TRUE(readImage(image, probe.address, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
        EXPECT_EQ(bytes, probe.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Loader, NamedLayouts, testing::Range<std::size_t>(0, namedLayouts().size()),
                         [](const auto& info) { return namedLayouts()[info.param].layout.name; });

// A section's flags give its pages the protection the loader gives them:
// writable ones copy-on-write, below a page everything writable code.
TEST(ExecutableMapping, SectionFlagsGiveTheLoadersProtection) {
    struct Flags {
        std::uint32_t characteristics;
        std::uint32_t protection;
    };
    const Flags kFlags[] = {
        {0x60000020, PAGE_EXECUTE_READ},      {0xE0000020, PAGE_EXECUTE_WRITECOPY},
        {0x40000040, PAGE_READONLY},          {0xC0000040, PAGE_WRITECOPY},
        {0x20000020, PAGE_EXECUTE},           {0x00000040, PAGE_NOACCESS},
        {0x80000040, PAGE_WRITECOPY},         {0xA0000020, PAGE_EXECUTE_WRITECOPY},
    };
    PeImage paged;
    paged.sectionAlignment = 0x1000;
    PeImage flat;
    flat.sectionAlignment = 0x800;
    for (const Flags& f : kFlags) {
        EXPECT_EQ(hexNumber(sectionProtection(paged, f.characteristics)), hexNumber(f.protection)) << hexNumber(f.characteristics);
        EXPECT_EQ(hexNumber(sectionProtection(flat, f.characteristics)), hexNumber(PAGE_EXECUTE_WRITECOPY))
            << hexNumber(f.characteristics);
    }
}

}  // namespace

namespace {

// One read across pieces (headers, sections, their file data and the zeros
// after it) gives what reads of one byte at a time give, up to the last byte
// of the image; a read that starts or ends outside it gives nothing.
TEST(ExecutableMapping, ReadsAcrossPiecesAsByteByByte) {
    for (const char* name : {"BuildA", "RawPointerOffSector", "RawSizeOffSector", "LowAlignmentFlat"}) {
        SCOPED_TRACE(name);
        const auto layout = std::find_if(namedLayouts().begin(), namedLayouts().end(),
                                          [&](const NamedLayout& l) { return l.layout.name == name; });
        ASSERT_NE(layout, namedLayouts().end());
        PeImage image;
        ASSERT_EQ(readPeImage(fileOf(layout->layout), &image).problem, ImageProblem::None);
        const HostAddress end = image.imageBase + image.mappedSize;
        // The headers into the entry code, the game's code into its data, and the probe page to the image's end.
        for (const HostAddress from : {image.imageBase + 0x300, kCodeBase + kCodeSize - 0x300, kProbePage + 0x100}) {
            const std::uint32_t size = std::min<std::uint32_t>(0x2000, end - from);
            std::vector<unsigned char> whole(size);
            ASSERT_TRUE(readImage(image, from, whole.data(), size)) << hexNumber(from);
            for (std::uint32_t i = 0; i < size; ++i) {
                unsigned char byte = 0xAA;
                ASSERT_TRUE(readImage(image, from + i, &byte, 1));
                ASSERT_EQ(byte, whole[i]) << "at " << hexNumber(from + i);
            }
        }
        unsigned char last[2];
        EXPECT_TRUE(readImage(image, end - 1, last, 1));
        EXPECT_FALSE(readImage(image, end - 1, last, 2)) << "the first byte out";
        EXPECT_FALSE(readImage(image, image.imageBase - 1, last, 2));
    }
}

// The heaviest file for the reader: 65535 sections and a 1 MiB manifest. It
// is none of the builds, and its manifest is read whole.
TEST(ExecutableMapping, SixtyFiveThousandSectionsAndAOneMebibyteManifest) {
    TempFolder temp;
    const std::string exe = temp.path + "/many.exe";
    const std::vector<unsigned char> file = manySectionsExecutable(65535, 1u << 20);
    writeFile(exe, file);

    std::string out;
    std::string err;
    const int status = runChecker({"--json", exe}, {}, noProcesses(), &out, &err);
    PeImage image;
    ASSERT_EQ(readPeImage(file, &image).problem, ImageProblem::None);
    const std::string manifest = imageManifest(image);

    EXPECT_EQ(status, 1) << err;
    JsonValue report;
    ASSERT_TRUE(parseJson(out, &report)) << out;
    EXPECT_EQ(report["check"].text, "menu_rows");
    EXPECT_EQ(image.sections.size(), 65535u);
    EXPECT_EQ(manifest.size(), 1u << 20);
    EXPECT_TRUE(manifestRequestsExecutionLevel(manifest));
}

}  // namespace
