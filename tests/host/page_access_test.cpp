// The walk over the regions VirtualQuery reports, against the fake's regions:
// runs of pages with one state and protection, next to runs with others.

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "host/page_access.h"
#include "tests/support/fake_host.h"

namespace {

struct Pages {
    HostAddress base;
    std::uint32_t size;
    std::uint32_t protection;
};

struct WalkCase {
    const char* name;
    std::vector<Pages> map;
    HostAddress address;
    std::uint32_t size;
    Access access;
    bool allowed;
};

void PrintTo(const WalkCase& c, std::ostream* out) { *out << c.name; }

constexpr std::uint32_t RW = PAGE_READWRITE;
constexpr std::uint32_t RO = PAGE_READONLY;
constexpr std::uint32_t WC = PAGE_WRITECOPY;
constexpr std::uint32_t XR = PAGE_EXECUTE_READ;

// clang-format off
const WalkCase kWalkCases[] = {
    {"InsideOneRegionOfThreePages",  {{0x10000, 0x3000, RW}}, 0x10100, 0x2000, Access::Writable, true},
    {"AcrossTwoRegions",             {{0x10000, 0x1000, RW}, {0x11000, 0x1000, PAGE_EXECUTE_READWRITE}},
                                     0x10F00, 0x200, Access::Writable, true},
    {"AcrossThreeRegions",           {{0x10000, 0x2000, RW}, {0x12000, 0x1000, WC}, {0x13000, 0x1000, RW}},
                                     0x11F00, 0x1200, Access::Writable, true},
    {"ThirdOfThreeRegionsReadOnly",  {{0x10000, 0x2000, RW}, {0x12000, 0x1000, WC}, {0x13000, 0x1000, RO}},
                                     0x11F00, 0x1200, Access::Writable, false},
    {"SecondRegionReadOnly",         {{0x10000, 0x1000, RW}, {0x11000, 0x1000, RO}, {0x12000, 0x1000, RW}},
                                     0x10F00, 0x1200, Access::Writable, false},
    {"GapBetweenRegions",            {{0x10000, 0x1000, RW}, {0x12000, 0x1000, RW}},
                                     0x10F00, 0x1200, Access::Readable, false},
    {"GuardPageInside",              {{0x10000, 0x1000, RW}, {0x11000, 0x1000, RW | PAGE_GUARD}, {0x12000, 0x1000, RW}},
                                     0x10F00, 0x1200, Access::Readable, false},
    {"GuardedCodeNotExecutable",     {{0x10000, 0x1000, XR | PAGE_GUARD}}, 0x10000, 1, Access::Executable, false},
    {"NoAccessCommittedButUnusable", {{0x10000, 0x1000, PAGE_NOACCESS}}, 0x10000, 4, Access::Readable, false},
    {"NoAccessStillCommitted",       {{0x10000, 0x1000, PAGE_NOACCESS}}, 0x10000, 4, Access::Committed, true},
    {"WriteCopyPageWritable",        {{0x10000, 0x1000, WC}}, 0x10000, 0x1000, Access::Writable, true},
    {"ExecuteReadNotWritable",       {{0x10000, 0x1000, XR}}, 0x10000, 4, Access::Writable, false},
    {"EndsExactlyAtRegionEnd",       {{0x10000, 0x2000, RW}, {0x12000, 0x1000, PAGE_NOACCESS}},
                                     0x11000, 0x1000, Access::Writable, true},
    {"OneByteIntoTheNextRegion",     {{0x10000, 0x2000, RW}, {0x12000, 0x1000, PAGE_NOACCESS}},
                                     0x11000, 0x1001, Access::Writable, false},
    {"NothingCommitted",             {}, 0x10000, 4, Access::Committed, false},
    {"EmptyRange",                   {{0x10000, 0x1000, RW}}, 0x10000, 0, Access::Readable, false},
    {"RegionEndingAt4GiB",           {{0xFFFFE000, 0x2000, RW}}, 0xFFFFEF00, 0x1100, Access::Writable, true},
    {"RangeEndingAt4GiB",            {{0xFFFFF000, 0x1000, RW}}, 0xFFFFFFFC, 4, Access::Readable, true},
    {"RangePast4GiB",                {{0xFFFFF000, 0x1000, RW}}, 0xFFFFFFFC, 5, Access::Readable, false},
};
// clang-format on

class RegionWalk : public testing::TestWithParam<WalkCase> {
protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override { fake::reset(); }
};

TEST_P(RegionWalk, EveryRegionOfTheRangeMustAllowTheAccess) {
    const WalkCase& c = GetParam();
    for (const Pages& pages : c.map) fake::map(pages.base, pages.size, pages.protection);

    EXPECT_EQ(hasAccess(c.address, c.size, c.access), c.allowed);
    EXPECT_TRUE(fake::effects().empty()) << "a query is not an effect";
}

INSTANTIATE_TEST_SUITE_P(Ranges, RegionWalk, testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The walk relies on regions as the platform reports them: several pages in one,
// starting at the page asked about, and ending where the protection changes.
TEST(FakeRegions, ReportedAsVirtualQueryDoes) {
    fake::reset();
    fake::map(0x10000, 0x3000, RW);
    fake::map(0x13000, 0x1000, RO);

    const HostRegion inside = queryRegion(0x11234);
    EXPECT_EQ(inside.base, 0x11000u);
    EXPECT_EQ(inside.size, 0x2000u);
    EXPECT_TRUE(inside.committed);
    EXPECT_EQ(inside.protection, RW);

    const HostRegion free = queryRegion(0x14000);
    EXPECT_FALSE(free.committed);
    EXPECT_EQ(free.base, 0x14000u);
    EXPECT_EQ(std::uint64_t{free.base} + free.size, std::uint64_t{1} << 32);
    fake::reset();
}

}  // namespace
