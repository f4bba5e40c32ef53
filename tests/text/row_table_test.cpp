// The nine rows as a table for people, whatever a changed page holds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/row_table.h"
#include "tests/support/expected_rows.h"

namespace {

// A key of all eight bytes (no NUL), one with a space, and one with bytes that
// are not printable ASCII.
TEST(RowTable, KeysAsTheyStandPrintableOrNot) {
    std::vector<unsigned char> rows = expectedRowBlock();
    const std::string keys[] = {"EIGHT_CH", "A SPACE", std::string("CAF\xC3\xA9\x01", 6)};
    for (std::size_t i = 0; i < 3; ++i) {
        std::fill(rows.begin() + 18 * i + 2, rows.begin() + 18 * i + 10, 0);
        std::copy(keys[i].begin(), keys[i].end(), rows.begin() + 18 * i + 2);
    }

    const std::string table = rowTable("Now", rows.data());

    EXPECT_NE(table.find("   1       9  EIGHT_CH     0     4    40   153      1\n"), std::string::npos) << table;
    EXPECT_NE(table.find("   2      10  A SPACE      0     4    40   178      1\n"), std::string::npos) << table;
    EXPECT_NE(table.find("   3      11  CAF???       0     4    40   202      1\n"), std::string::npos) << table;
    EXPECT_NE(table.find("   9      34  FEDS_TB      0    33   320   353      3\n"), std::string::npos) << table;
}

}  // namespace
