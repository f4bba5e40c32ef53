#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "tests/support/expected_rows.h"
#include "tests/support/fake_game.h"
#include "tests/support/fake_host.h"

namespace {

class MenuRows : public GameTest, public testing::WithParamInterface<HostProfile> {};

TEST_P(MenuRows, SameBlockLandsAtPageBasePlus968AndNothingAround) {
    const HostProfile& b = GetParam();
    layOutGame(b.probeAddress == kProbeA, b.probeAddress == kProbeB);
    serveRoutinesOf(b);

    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);

    const std::vector<unsigned char> page = fake::peek(pageBaseOf(b), 0x1000);
    EXPECT_EQ(std::vector<unsigned char>(page.begin() + 968, page.begin() + 1130), expectedRowBlock());
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (i >= 968 && i < 1130) continue;
        ASSERT_EQ(page[i], kPageFiller) << "page byte " << i << " changed";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBuild, MenuRows, testing::ValuesIn(kBuilds),
                         [](const auto& info) { return std::string(nameOf(info.param)); });

TEST(MenuRowBlock, FirstRowIsTheGamesRecordByteForByte) {
    const std::vector<unsigned char> row1 = {0x09, 0x00, 0x46, 0x45, 0x44, 0x5F, 0x54, 0x52, 0x41,
                                             0x00, 0x00, 0x04, 0x28, 0x00, 0x99, 0x00, 0x01, 0x00};
    const std::vector<unsigned char> block = expectedRowBlock();
    ASSERT_EQ(block.size(), 162u);
    EXPECT_EQ(std::vector<unsigned char>(block.begin(), block.begin() + 18), row1);
}

}  // namespace
