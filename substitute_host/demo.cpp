#include "substitute_host/demo.h"

#include <cstdio>
#include <cstring>

#include "text/row_table.h"

namespace {

std::uint32_t u32(const std::vector<unsigned char>& image, HostAddress address) {
    std::uint32_t value;
    std::memcpy(&value, &image[address - kGameBegin], 4);
    return value;
}

void printRows(const char* title, const std::vector<unsigned char>& image, HostAddress rows) {
    std::fputs(rowTable(title, &image[rows - kGameBegin]).c_str(), stdout);
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
