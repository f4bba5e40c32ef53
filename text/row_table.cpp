#include "text/row_table.h"

#include <cstring>

#include "text/text.h"
#include "plugin/menu_row.h"

std::string rowTable(const char* title, const unsigned char* rows) {
    MenuRowBlock block;
    std::memcpy(&block, rows, sizeof block);
    std::string table = textf("%s\n   #  action  key       slot  page     x     y  align\n", title);
    for (std::size_t i = 0; i < block.size(); ++i) {
        const MenuRow& row = block[i];
        // A game's key is ASCII; whatever else a changed page holds shows as '?'.
        char key[sizeof row.textKey + 1] = {};
        for (std::size_t c = 0; c < sizeof row.textKey && row.textKey[c] != 0; ++c) {
            const unsigned char ch = static_cast<unsigned char>(row.textKey[c]);
            key[c] = ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?';
        }
        table += textf("  %2u  %6u  %-8s  %4u  %4u  %4u  %4u  %5u\n", static_cast<unsigned>(i + 1),
                       row.action, key, row.slot, row.targetPage, row.x, row.y, row.align);
    }
    return table;
}
