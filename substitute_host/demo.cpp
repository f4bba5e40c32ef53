#include "substitute_host/demo.h"


#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t kRowSize = 18;

std::uint16_t u16(const unsigned char* at) {
    std::uint16_t value;
    std::memcpy(&value, at, 2);
    return value;
}

std::uint32_t u32(const std::vector<unsigned char>& image, HostAddress address) {
    std::uint32_t value;
    std::memcpy(&value, &image[address - kGameBegin], 4);
    return value;
}

void printRows(const char* title, const std::vector<unsigned char>& image, HostAddress rows) {
    std::printf("%s\n   #  action  key       slot  page     x     y  align\n", title);
    for (std::uint32_t i = 0; i < 9; ++i) {
        const unsigned char* row = &image[rows + i * kRowSize - kGameBegin];
        char key[9] = {};
        std::memcpy(key, row + 2, 8);
        std::printf("  %2u  %6u  %-8s  %4u  %4u  %4u  %4u  %5u\n", i + 1, u16(row), key, row[10],
                    row[11], u16(row + 12), u16(row + 14), u16(row + 16));
    }
}

}  // namespace

void printDemo(const HostProfile& laidOut, const std::vector<unsigned char>& before,
               const std::vector<unsigned char>& after, const std::string& settingsFolder) {
    const char* recognised = "none (nothing patched)";
    for (const HostProfile& build : kBuilds) {
        if (u32(before, build.flagDestSlot) != u32(after, build.flagDestSlot)) recognised = nameOf(build);
    }
    const HostAddress rows = pageBaseOf(laidOut) + kRowsOffset;
    const HostAddress flag = flagAddressOf(laidOut);

    std::printf("Substitute host laid out as build %s; menupatch.dll loaded with LoadLibrary.\n",
                nameOf(laidOut));
    std::printf("Recognised build: %s\n\n", recognised);
    std::printf("Menu page at 0x%06X, rows from +%u:\n\n", pageBaseOf(laidOut), kRowsOffset);
    printRows("Before", before, rows);
    std::printf("\n");
    printRows("After", after, rows);
    std::printf("\nFlag operand at 0x%06X: 0x%06X -> 0x%06X (the flag byte's address)\n",
                laidOut.flagDestSlot, u32(before, laidOut.flagDestSlot),
                u32(after, laidOut.flagDestSlot));
    std::printf("Flag byte at 0x%06X:    0x%02X -> 0x%02X (byte %u of %s\\korvan.set)\n", flag,
                before[flag - kGameBegin], after[flag - kGameBegin], kSettingsFlagOffset,
                settingsFolder.c_str());
}
