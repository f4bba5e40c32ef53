#include "plugin/settings_flag.h"

#include <cstdio>

void restoreSettingsFlag(HostAddress flagAddress) {
    std::FILE* file = std::fopen(kSettingsFileName, "rb");
    if (file == nullptr) return;

    // A short file reads nothing into the flag; a game value of 0x73 still becomes 0.
    unsigned char* flag = hostByte(flagAddress);
    std::fseek(file, kSettingsFlagOffset, SEEK_SET);
    std::fread(flag, 1, 1, file);
    if (*flag == kUnsetFlag) *flag = 0;
    std::fclose(file);
}
