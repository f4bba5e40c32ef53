#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "plugin/flag_operand.h"
#include "tests/support/expected_rows.h"
#include "tests/support/fake_game.h"
#include "tests/support/fake_host.h"

using fake::protectAs;
using fake::write32At;

namespace {

constexpr HostAddress kOperand = 0x4902D2;
constexpr HostAddress kFlag = 0x5A8000;

struct ProtectionCase {
    const char* name;
    std::uint32_t protectionBefore;
};

void PrintTo(const ProtectionCase& c, std::ostream* out) { *out << c.name; }

class FlagOperand : public testing::TestWithParam<ProtectionCase> {
protected:
    void SetUp() override {
        fake::reset();
        fake::map(0x490000, 0x1000, GetParam().protectionBefore);
        fake::poke32(kOperand, 0x11223344);
    }
    void TearDown() override { fake::reset(); }
};

TEST_P(FlagOperand, StoredBetweenProtectionChangesAndProtectionPutBack) {
    const std::uint32_t before = GetParam().protectionBefore;

    patchHostDword(kOperand, kFlag);

    EXPECT_EQ(fake::effects(), (std::vector<fake::Effect>{
                                   protectAs(kOperand, 4, PAGE_EXECUTE_READWRITE),
                                   write32At(kOperand, kFlag),
                                   protectAs(kOperand, 4, before),
                               }));
    EXPECT_EQ(fake::peek(kOperand, 4), (std::vector<unsigned char>{0x00, 0x80, 0x5A, 0x00}));
    EXPECT_EQ(fake::protectionAt(kOperand), before);
}

// Already-writable code goes through the same three steps.
INSTANTIATE_TEST_SUITE_P(Protections, FlagOperand,
                         testing::Values(ProtectionCase{"ExecuteRead", PAGE_EXECUTE_READ},
                                         ProtectionCase{"ExecuteReadWrite", PAGE_EXECUTE_READWRITE},
                                         ProtectionCase{"ReadOnly", PAGE_READONLY}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlagOperandRefused, NothingStoredNothingRestored) {
    fake::reset();
    fake::map(0x490000, 0x1000, PAGE_EXECUTE_READ);
    fake::poke32(kOperand, 0x11223344);
    fake::refuseProtection();

    patchHostDword(kOperand, kFlag);

    EXPECT_EQ(fake::effects(),
              std::vector<fake::Effect>{protectAs(kOperand, 4, PAGE_EXECUTE_READWRITE)});
    EXPECT_EQ(fake::peek32(kOperand), 0x11223344u);
    fake::reset();
}

class FlagOperandInAttach : public GameTest {};

TEST_F(FlagOperandInAttach, OperandMatchesSourceSlotAfterwards) {
    serveRoutinesOf(kA);

    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);

    EXPECT_EQ(fake::peek(kA.flagDestSlot, 4), fake::peek(kA.flagSourceSlot, 4));
    EXPECT_EQ(fake::protectionAt(kA.flagDestSlot), static_cast<std::uint32_t>(PAGE_EXECUTE_READ));
}

TEST_F(FlagOperandInAttach, RefusedProtectionLeavesOperandButRestOfSequenceRuns) {
    serveRoutinesOf(kA);
    writeFile(settingsFolder, 2048, 1466, 0x01);
    fake::refuseProtection();

    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);

    EXPECT_EQ(fake::peek32(kA.flagDestSlot), oldOperandOf(kA));
    EXPECT_EQ(fake::peek(pageBaseOf(kA) + 968, 162), expectedRowBlock());
    EXPECT_EQ(fake::peek(flagAddressOf(kA), 1)[0], 0x01);
    EXPECT_EQ(fake::effects().back(), fake::callOf(kA.setDirRoutine, ""));
}

}  // namespace
