// The executable reader maps a file as the loader does. Each named layout says
// what the checker makes of it and what stands where once mapped; the loader
// comparison holds Wine's loader to the same layouts.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/pe_image.h"
#include "tests/json_reader.h"
#include "tests/loader_layouts.h"
#include "tests/temp_folder.h"

namespace {

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

class NamedLayouts : public testing::TestWithParam<std::size_t> {};

TEST_P(NamedLayouts, VerdictAndWhatStandsWhereOnceMapped) {
    const NamedLayout& c = namedLayouts()[GetParam()];
    const std::vector<unsigned char> file = fileOf(c.layout);
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    writeFile(exe, file);

    std::string out;
    std::string err;
    const int status = runChecker({"--json", exe}, {}, &out, &err);

    EXPECT_EQ(status, c.checkerStatus) << err;
    if (c.checkerStatus == 2) {
        EXPECT_NE(err.find(c.refusal), std::string::npos) << err;
    } else {
        JsonValue report;
        ASSERT_TRUE(parseJson(out, &report)) << out;
        EXPECT_EQ(report["build"].text, c.build);
    }
    PeImage image;
    const ImageReading reading = readPeImage(file, &image);
    for (const MappedProbe& probe : c.probes) {
        SCOPED_TRACE("at " + hex(probe.address));
        ASSERT_EQ(reading.problem, ImageProblem::None) << reading.why;
        const HostRegion region = imageRegion(image, probe.address);
        EXPECT_EQ(region.committed, probe.protection != 0);
        if (!region.committed) continue;
        EXPECT_EQ(hex(region.protection), hex(probe.protection));
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
        EXPECT_EQ(hex(sectionProtection(paged, f.characteristics)), hex(f.protection)) << hex(f.characteristics);
        EXPECT_EQ(hex(sectionProtection(flat, f.characteristics)), hex(PAGE_EXECUTE_WRITECOPY))
            << hex(f.characteristics);
    }
}

}  // namespace
