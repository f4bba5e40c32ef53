// A host that is not laid out as the build its signature (or its lack of one)
// names: all or nothing, and nothing unless everything is in place.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "plugin/attach.h"
#include "plugin/host_builds.h"
#include "tests/support/expected_rows.h"
#include "tests/support/fake_game.h"
#include "tests/support/fake_host.h"

namespace {

struct UnfitHost {
    const char* name;
    std::function<void()> spoil;  // applied to a game laid out as build A
    HostCheck failing;
};

void PrintTo(const UnfitHost& c, std::ostream* out) { *out << c.name; }

constexpr HostAddress kRowsA = pageBaseOf(kA) + 968;
constexpr HostAddress kPageEndOfData = kDataBase + kDataSize;

const UnfitHost kUnfitHosts[] = {
    {"PageSlotNotCommitted", [] { fake::unmap(kA.pageSlot, 4); }, HostCheck::PageSlot},
    {"FlagSourceSlotNoAccess", [] { fake::setProtection(kA.flagSourceSlot, 4, PAGE_NOACCESS); },
     HostCheck::FlagSourceSlot},
    {"OperandNotCommitted", [] { fake::unmap(kA.flagDestSlot, 4); }, HostCheck::FlagOperand},
    {"PageBaseNull", [] { fake::poke32(kA.pageSlot, 0); }, HostCheck::MenuRows},
    {"PageBaseInExecuteReadCode", [] { fake::poke32(kA.pageSlot, kCodeBase); }, HostCheck::MenuRows},
    {"RowsRunPastCommittedData", [] { fake::poke32(kA.pageSlot, kPageEndOfData - 968 - 100); },
     HostCheck::MenuRows},
    {"RowsCrossIntoReadOnlyPage",
     [] {
         fake::poke32(kA.pageSlot, kDataBase + 0x2000 - 968 - 80);
         fake::setProtection(kDataBase + 0x2000, 1, PAGE_READONLY);
     },
     HostCheck::MenuRows},
    {"RowsCrossIntoGuardPage",
     [] {
         fake::poke32(kA.pageSlot, kDataBase + 0x2000 - 968 - 80);
         fake::setProtection(kDataBase + 0x2000, 1, PAGE_READWRITE | PAGE_GUARD);
     },
     HostCheck::MenuRows},
    {"RowsWouldWrapAroundAddressSpace", [] { fake::poke32(kA.pageSlot, 0xFFFFFF00); },
     HostCheck::MenuRows},
    {"FlagAddressNotCommitted", [] { fake::poke32(kA.flagSourceSlot, 0x00300000); },
     HostCheck::FlagByte},
    {"FlagByteReadOnly", [] { fake::setProtection(flagAddressOf(kA), 1, PAGE_READONLY); },
     HostCheck::FlagByte},
    {"FlagByteNoAccess", [] { fake::setProtection(flagAddressOf(kA), 1, PAGE_NOACCESS); },
     HostCheck::FlagByte},
    {"FlagByteGuarded",
     [] { fake::setProtection(flagAddressOf(kA), 1, PAGE_READWRITE | PAGE_GUARD); },
     HostCheck::FlagByte},
    {"RoutinesNotExecutable",
     [] { fake::setProtection(kA.enterSettingsDirRoutine, 1, PAGE_READWRITE); },
     HostCheck::EnterSettingsDirRoutine},
    {"RoutinesNotCommitted", [] { fake::unmap(kA.enterSettingsDirRoutine, 1); },
     HostCheck::EnterSettingsDirRoutine},
};

class UnfitHostTest : public GameTest, public testing::WithParamInterface<UnfitHost> {};

TEST_P(UnfitHostTest, OneFailingCheckTouchesAndCallsNothing) {
    serveRoutinesOf(kA);
    writeFile(settingsFolder, 2048, 1466, 0x01);
    GetParam().spoil();
    const std::vector<unsigned char> rows = fake::peek(kRowsA, 162);

    EXPECT_EQ(attachToHost(detectHostBuild()), GetParam().failing);

    for (const fake::Effect& effect : fake::effects()) {
        EXPECT_EQ(effect.op, fake::Op::Read32) << testing::PrintToString(effect);
    }
    EXPECT_EQ(fake::peek(kRowsA, 162), rows);
    const bool operandCommitted = fake::protectionAt(kA.flagDestSlot) != 0;
    if (operandCommitted) {
        EXPECT_EQ(fake::peek32(kA.flagDestSlot), oldOperandOf(kA));
    }
    EXPECT_EQ(fake::peek(flagAddressOf(kA), 1)[0], kGameFlag);
    EXPECT_EQ(flagSeenOnEnter, -1) << "a routine was called";
}

INSTANTIATE_TEST_SUITE_P(OneCheckFails, UnfitHostTest, testing::ValuesIn(kUnfitHosts),
                         [](const auto& info) { return std::string(info.param.name); });

// Routines of one build share a code page; a profile with them apart shows the
// second routine is checked too.
TEST_F(GameTest, SetDirRoutineNotExecutableAloneTouchesNothing) {
    HostProfile profile = BuildA;
    profile.setDirRoutine = kCodeBase + 0x100;
    fake::setProtection(profile.setDirRoutine, 1, PAGE_READWRITE);
    serveRoutinesOf(kA);

    EXPECT_EQ(attachToHost(profile), HostCheck::SetDirRoutine);

    for (const fake::Effect& effect : fake::effects()) EXPECT_EQ(effect.op, fake::Op::Read32);
    EXPECT_EQ(flagSeenOnEnter, -1);
}

struct FitHost {
    const char* name;
    bool signatureAtA;
    std::function<void()> arrange;  // applied to a game laid out with or without A's signature
    HostProfile patchedAs;
};

void PrintTo(const FitHost& c, std::ostream* out) { *out << c.name; }

const FitHost kFitHosts[] = {
    {"RowsCrossIntoWriteCopyPage",
     true,
     [] {
         fake::poke32(kA.pageSlot, kDataBase + 0x2000 - 968 - 80);
         fake::setProtection(kDataBase + 0x2000, 1, PAGE_WRITECOPY);
     },
     kA},
    {"OperandPageNoAccessYetCommitted", true,
     [] { fake::setProtection(kA.flagDestSlot, 4, PAGE_NOACCESS); }, kA},
    {"ProbePageNoAccess_NoMatchSoBuildC", true,
     [] { fake::setProtection(kProbePage, 1, PAGE_NOACCESS); }, kC},
    {"ProbePageNotCommitted_BuildC", false, [] { fake::unmap(kProbePage, 1); }, kC},
};

class FitHostTest : public GameTest, public testing::WithParamInterface<FitHost> {};

TEST_P(FitHostTest, EveryCheckHoldsSoTheSequenceRuns) {
    const FitHost& c = GetParam();
    layOutGame(c.signatureAtA, false);
    c.arrange();
    const HostProfile& b = c.patchedAs;
    serveRoutinesOf(b);
    writeFile(settingsFolder, 2048, 1466, 0x01);
    const std::uint32_t operandProtection = fake::protectionAt(b.flagDestSlot);

    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);

    EXPECT_EQ(fake::peek(fake::peek32(b.pageSlot) + 968, 162), expectedRowBlock());
    EXPECT_EQ(fake::peek32(b.flagDestSlot), flagAddressOf(b));
    EXPECT_EQ(fake::protectionAt(b.flagDestSlot), operandProtection);
    EXPECT_EQ(fake::peek(flagAddressOf(b), 1)[0], 0x01);
    EXPECT_EQ(fake::effects().back(), fake::callOf(b.setDirRoutine, ""));
}

INSTANTIATE_TEST_SUITE_P(AllChecksHold, FitHostTest, testing::ValuesIn(kFitHosts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
