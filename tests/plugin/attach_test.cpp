#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "tests/support/fake_game.h"
#include "tests/support/fake_host.h"

using fake::callOf;
using fake::copyTo;
using fake::protectAs;
using fake::read32At;
using fake::write32At;

namespace {

constexpr std::uint32_t kSignatureValue = 0x53E58955;
// All four bytes count: 55 89 E5 and another fourth, or another first.
constexpr std::uint32_t kNearMissFourth = 0x00E58955;
constexpr std::uint32_t kNearMissFirst = 0x53E58956;

struct SignatureCase {
    const char* name;
    std::uint32_t atA;  // the four bytes at each probe address
    std::uint32_t atB;
    HostProfile expected;
};

void PrintTo(const SignatureCase& c, std::ostream* out) { *out << c.name; }

const SignatureCase kSignatureCases[] = {
    {"SignatureAtAOnly_BuildA", kSignatureValue, 0, kA},
    {"SignatureAtBoth_AWins", kSignatureValue, kSignatureValue, kA},
    {"SignatureAtBOnly_BuildB", 0, kSignatureValue, kB},
    {"NoSignature_BuildC", 0, 0, kC},
    {"NearMissAtA_BuildB", kNearMissFourth, kSignatureValue, kB},
    {"NearMissesAtBoth_BuildC", kNearMissFourth, kNearMissFirst, kC},
};

class WholeAttach : public GameTest, public testing::WithParamInterface<SignatureCase> {};

TEST_P(WholeAttach, UsesTheBuildsAddressesInTheFixedOrder) {
    const SignatureCase& c = GetParam();
    layOutGame(false, false);
    fake::poke32(kProbeA, c.atA);
    fake::poke32(kProbeB, c.atB);
    serveRoutinesOf(c.expected);
    writeFile(settingsFolder, 2048, 1466, 0x01);

    ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);

    const HostProfile& b = c.expected;
    std::vector<fake::Effect> expected;
    expected.push_back(read32At(kProbeA, c.atA));
    if (c.atA != kSignatureValue) expected.push_back(read32At(kProbeB, c.atB));
    const std::vector<fake::Effect> rest = {
        read32At(b.pageSlot, pageBaseOf(b)),
        read32At(b.flagSourceSlot, flagAddressOf(b)),
        protectAs(b.flagDestSlot, 4, PAGE_EXECUTE_READWRITE),
        write32At(b.flagDestSlot, flagAddressOf(b)),
        protectAs(b.flagDestSlot, 4, PAGE_EXECUTE_READ),
        copyTo(pageBaseOf(b) + 968, 162),
        callOf(b.enterSettingsDirRoutine),
        callOf(b.setDirRoutine, ""),
    };
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(fake::effects(), expected);

    // The settings file was read between the two routines, and only then.
    EXPECT_EQ(flagSeenOnEnter, kGameFlag);
    EXPECT_EQ(flagSeenOnSetDir, 0x01);
    EXPECT_EQ(fake::peek(flagAddressOf(b), 1)[0], 0x01);
}

INSTANTIATE_TEST_SUITE_P(SignatureRule, WholeAttach, testing::ValuesIn(kSignatureCases),
                         [](const auto& info) { return std::string(info.param.name); });

class EntryCallback : public GameTest, public testing::WithParamInterface<DWORD> {};

TEST_P(EntryCallback, OtherReasonTouchesNothingAndReturnsTrue) {
    const std::vector<unsigned char> before = fake::peek(pageBaseOf(kA), 0x1000);

    EXPECT_EQ(DllMain(nullptr, GetParam(), nullptr), TRUE);

    EXPECT_TRUE(fake::effects().empty());
    EXPECT_EQ(fake::peek(pageBaseOf(kA), 0x1000), before);
    EXPECT_EQ(fake::peek32(kA.flagDestSlot), oldOperandOf(kA));
}

INSTANTIATE_TEST_SUITE_P(Reasons, EntryCallback,
                         testing::Values(DLL_PROCESS_DETACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH));

}  // namespace
