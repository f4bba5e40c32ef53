#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <vector>

#include "tests/support/fake_game.h"
#include "tests/support/fake_host.h"

namespace {

enum class FileKind { Sized, Missing };

struct FlagCase {
    const char* name;
    FileKind kind;
    std::size_t fileSize;  // the flag is at 1466 when the file is long enough
    unsigned char fileByte;
    unsigned char flagBefore;
    unsigned char flagAfter;
};

void PrintTo(const FlagCase& c, std::ostream* out) { *out << c.name; }

// clang-format off
const FlagCase kFlagCases[] = {
    {"Byte01_Becomes1",                FileKind::Sized,   2048, 0x01, 0x05, 0x01},
    {"Byte00_Becomes0",                FileKind::Sized,   2048, 0x00, 0x05, 0x00},
    {"Byte73_Becomes0",                FileKind::Sized,   2048, 0x73, 0x05, 0x00},
    {"ByteFF_StaysFF",                 FileKind::Sized,   2048, 0xFF, 0x05, 0xFF},
    {"FlagIsLastByte_Read",            FileKind::Sized,   1467, 0x01, 0x05, 0x01},
    {"ShortFile_KeepsGameValue",       FileKind::Sized,   1466, 0x01, 0x05, 0x05},
    {"ShortFile_Game73Becomes0",       FileKind::Sized,   1466, 0x01, 0x73, 0x00},
    {"EmptyFile_KeepsGameValue",       FileKind::Sized,      0, 0x01, 0x05, 0x05},
    {"NoFile_KeepsGameValue",          FileKind::Missing,    0, 0x00, 0x05, 0x05},
    {"NoFile_Game73Stays73",           FileKind::Missing,    0, 0x00, 0x73, 0x73},
};
// clang-format on

class SettingsFlag : public GameTest, public testing::WithParamInterface<FlagCase> {};

TEST_P(SettingsFlag, LoadedBetweenTheRoutinesFromTheSettingsFolderOnly) {
    const FlagCase& c = GetParam();
    serveRoutinesOf(kA);
    fake::poke(flagAddressOf(kA), {c.flagBefore});
    if (c.kind == FileKind::Sized) writeFile(settingsFolder, c.fileSize, 1466, c.fileByte);
    // A file in the starting folder must not be the one read.
    writeFile(startFolder, 2048, 1466, 0x42);

    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);

    EXPECT_EQ(fake::peek(flagAddressOf(kA), 1)[0], c.flagAfter);
    EXPECT_EQ(flagSeenOnEnter, c.flagBefore) << "flag loaded before the settings folder was entered";
    EXPECT_EQ(flagSeenOnSetDir, c.flagAfter) << "flag not final when the folder was left";
    EXPECT_EQ(openFilesOnSetDir, openFilesBefore) << "settings file still open";

    const std::vector<fake::Effect>& effects = fake::effects();
    ASSERT_GE(effects.size(), 2u);
    EXPECT_EQ(effects[effects.size() - 2], fake::callOf(kA.enterSettingsDirRoutine));
    EXPECT_EQ(effects.back(), fake::callOf(kA.setDirRoutine, ""));
}

INSTANTIATE_TEST_SUITE_P(FileByte, SettingsFlag, testing::ValuesIn(kFlagCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
