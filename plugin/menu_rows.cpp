#include "plugin/menu_row.h"

// clang-format off
constexpr MenuRowBlock kMenuRowBlock = {{
    // action  textKey    slot page   x    y  align
    {  9,      "FED_TRA",  0,   4,   40, 153, 1 },
    { 10,      "FED_SUB",  0,   4,   40, 178, 1 },
    { 11,      "FED_WIS",  0,   4,   40, 202, 1 },
    { 31,      "MAP_LEG",  0,   4,   40, 228, 1 },
    { 32,      "FED_RDR",  0,   4,   40, 253, 1 },
    { 33,      "FED_HUD",  0,   4,   40, 278, 1 },
    { 43,      "FED_RES",  0,   4,   40, 303, 1 },
    { 47,      "FET_DEF",  0,   4,  320, 328, 3 },
    { 34,      "FEDS_TB",  0,  33,  320, 353, 3 },
}};
// clang-format on

bool menuRowsAt(HostAddress pageBase, HostAddress* rows) {
    const std::uint64_t at = std::uint64_t{pageBase} + kRowBlockOffset;
    if (at + sizeof(MenuRowBlock) > kAddressSpaceEnd) return false;
    *rows = static_cast<HostAddress>(at);
    return true;
}

void writeMenuRows(HostAddress pageBase) {
    writeBytes(pageBase + kRowBlockOffset, reinterpret_cast<const unsigned char*>(&kMenuRowBlock),
               sizeof kMenuRowBlock);
}
