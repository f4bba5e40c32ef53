#pragma once

// The nine rows the game's menu page must hold afterwards, encoded here field by
// field so that the tests do not trust the plug-in's own table.

#include <cstdint>
#include <string>
#include <vector>

struct ExpectedRow {
    std::uint16_t action;
    const char* textKey;
    std::uint8_t slot;
    std::uint8_t targetPage;
    std::uint16_t x;
    std::uint16_t y;
    std::uint16_t align;
};

// clang-format off
inline const ExpectedRow kExpectedRows[] = {
    {  9, "FED_TRA", 0,  4,  40, 153, 1 },
    { 10, "FED_SUB", 0,  4,  40, 178, 1 },
    { 11, "FED_WIS", 0,  4,  40, 202, 1 },
    { 31, "MAP_LEG", 0,  4,  40, 228, 1 },
    { 32, "FED_RDR", 0,  4,  40, 253, 1 },
    { 33, "FED_HUD", 0,  4,  40, 278, 1 },
    { 43, "FED_RES", 0,  4,  40, 303, 1 },
    { 47, "FET_DEF", 0,  4, 320, 328, 3 },
    { 34, "FEDS_TB", 0, 33, 320, 353, 3 },
};
// clang-format on

inline void appendLittleEndian16(std::vector<unsigned char>& out, std::uint16_t value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

inline std::vector<unsigned char> expectedRowBlock() {
    std::vector<unsigned char> out;
    for (const ExpectedRow& row : kExpectedRows) {
        appendLittleEndian16(out, row.action);
        std::string key(row.textKey);
        key.resize(8, '\0');
        out.insert(out.end(), key.begin(), key.end());
        out.push_back(row.slot);
        out.push_back(row.targetPage);
        appendLittleEndian16(out, row.x);
        appendLittleEndian16(out, row.y);
        appendLittleEndian16(out, row.align);
    }
    return out;
}

// Bytes as the reports print them: two lower-case hex digits each.
inline std::string hexOf(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}
