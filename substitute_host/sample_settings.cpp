#include "substitute_host/sample_settings.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "substitute_host/game_layout.h"

namespace {

constexpr unsigned char kSampleFlag = 0x01;
constexpr std::size_t kSampleFileSize = 2048;

}  // namespace

std::string writeSampleSettings(const char* folderName) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + folderName;
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<unsigned char> bytes(kSampleFileSize, 0);
    bytes[kSettingsFlagOffset] = kSampleFlag;
    if (FILE* file = std::fopen((folder + "\\korvan.set").c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return folder;
}
