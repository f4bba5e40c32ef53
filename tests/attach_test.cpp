#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "tests/fake_game.h"
#include "tests/fake_host.h"

using fake::callOf;
using fake::copyTo;
using fake::protectAs;
using fake::read32At;
using fake::write32At;

namespace {

constexpr std::uint32_t kSignatureValue = 0x53E58955;

struct SignatureCase {
    const char* name;
    bool signatureAtA;
    bool signatureAtB;
    HostProfile expected;
};

void PrintTo(const SignatureCase& c, std::ostream* out) { *out << c.name; }

const SignatureCase kSignatureCases[] = {
    {"SignatureAtAOnly_BuildA", true, false, kA},
    {"SignatureAtBoth_AWins", true, true, kA},
    {"SignatureAtBOnly_BuildB", false, true, kB},
    {"NoSignature_BuildC", false, false, kC},
};

class WholeAttach : public GameTest, public testing::WithParamInterface<SignatureCase> {};

TEST_P(WholeAttach, UsesTheBuildsAddressesInTheFixedOrder) {
    const SignatureCase& c = GetParam();
    layOutGame(c.signatureAtA, c.signatureAtB);
    serveRoutinesOf(c.expected);
    writeFile(settingsFolder, 2048, 1466, 0x01);

    ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);

    const HostProfile& b = c.expected;
    std::vector<fake::Effect> expected;
    expected.push_back(read32At(kProbeA, c.signatureAtA ? kSignatureValue : 0));
    if (!c.signatureAtA) expected.push_back(read32At(kProbeB, c.signatureAtB ? kSignatureValue : 0));
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
