#include "tests/support/fake_game.h"

#include <dirent.h>
#include <stdlib.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/support/fake_host.h"

void layOutGame(bool signatureAtA, bool signatureAtB) {
    fake::reset();
    fake::map(kCodeBase, kCodeSize, PAGE_EXECUTE_READ);
    fake::map(kDataBase, kDataSize, PAGE_READWRITE);
    fake::map(kProbePage, kPageSize, PAGE_EXECUTE_READ);
    for (const HostProfile& build : kBuilds) {
        fake::poke32(build.pageSlot, pageBaseOf(build));
        fake::poke32(build.flagSourceSlot, flagAddressOf(build));
        fake::poke32(build.flagDestSlot, oldOperandOf(build));
        fake::poke(pageBaseOf(build), std::vector<unsigned char>(kPageSize, kPageFiller));
        fake::poke(flagAddressOf(build), {kGameFlag});
    }
    const std::vector<unsigned char> signature(std::begin(kSignature), std::end(kSignature));
    if (signatureAtA) fake::poke(kProbeA, signature);
    if (signatureAtB) fake::poke(kProbeB, signature);
}

int openFileCount() {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
    return count;
}

void GameTest::SetUp() {
    char pattern[] = "/tmp/menupatch-test-XXXXXX";
    root = mkdtemp(pattern);
    settingsFolder = root + "/settings";
    startFolder = root + "/start";
    std::filesystem::create_directory(settingsFolder);
    std::filesystem::create_directory(startFolder);
    originalFolder = std::filesystem::current_path();
    std::filesystem::current_path(startFolder);
    layOutGame(true, false);
}

void GameTest::TearDown() {
    std::filesystem::current_path(originalFolder);
    std::filesystem::remove_all(root);
    fake::reset();
}

void GameTest::serveRoutinesOf(const HostProfile& build) {
    const HostAddress flag = flagAddressOf(build);
    openFilesBefore = openFileCount();
    fake::onCall(build.enterSettingsDirRoutine, [this, flag](const char*) {
        flagSeenOnEnter = fake::peek(flag, 1)[0];
        std::filesystem::current_path(settingsFolder);
    });
    fake::onCall(build.setDirRoutine, [this, flag](const char* text) {
        EXPECT_STREQ(text, "");
        flagSeenOnSetDir = fake::peek(flag, 1)[0];
        openFilesOnSetDir = openFileCount();
        std::filesystem::current_path(startFolder);
    });
}

void GameTest::writeFile(const std::string& folder, std::size_t size, std::size_t offset,
                         unsigned char value) {
    std::vector<char> bytes(size, 0x11);
    if (offset < size) bytes[offset] = static_cast<char>(value);
    std::ofstream(folder + "/korvan.set", std::ios::binary).write(bytes.data(), bytes.size());
}
