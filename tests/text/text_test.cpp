// Names as the checker compares and converts them: one table of name pairs
// holds both builds, which compare names through the same function.

#include <gtest/gtest.h>

#include <string>

#include "checker/system/platform.h"
#include "text/text.h"

namespace {

struct NamePair {
    const char* a;
    const char* b;
    bool same;
};

void PrintTo(const NamePair& p, std::ostream* out) { *out << p.a << " / " << p.b; }

const NamePair kNamePairs[] = {
    {"korvan.set", "KORVAN.SET", true},
    {"korvan.set", "Korvan.Set", true},
    {"korvan.set", "korvan.sex", false},   // the last character counts
    {"korvan.set", "korvan.se", false},    // and the length
    {"korvan.set", "korvan.set ", false},
    {"korvan.set", "xorvan.set", false},   // and the first
    {"game.exe", "GAME.EXX", false},
    {"игра.exe", "ИГРА.EXE", true},        // Cyrillic
    {"Ωμέγα.exe", "ΩΜΈΓΑ.EXE", true},      // Greek with a tonos
    {"σ.exe", "Σ.exe", true},
    {"ς.exe", "Σ.exe", false},             // final sigma is its own upper case in Windows' table
    {"straße.exe", "STRAẞE.EXE", false},   // and ß: Unicode folds the capital sharp s to it, Windows does not
    {"straße.exe", "STRASSE.EXE", false},  // one unit for one
    {"\u212Aorvan.set", "korvan.set", false},  // the Kelvin sign is not K here
    {"\u00B5.exe", "\u039C.exe", false},      // nor the micro sign mu
    {"ā.exe", "Ā.exe", true},              // Latin Extended-A: capitals and small letters alternate
    {"ā.exe", "ă.exe", false},
    {"ǆ.exe", "Ǆ.exe", true},              // a digraph's small and capital forms
    {"ǅ.exe", "ǆ.exe", false},             // its title case is its own
    {"ꭰ.exe", "Ꭰ.exe", true},              // Cherokee, whose small letters fold to capitals
    {"𐐨.exe", "𐐀.exe", false},            // Deseret, beyond the first plane: two units, each its own
    {"𐐨.exe", "𐐨.EXE", true},
    {"😀.exe", "😁.exe", false},            // one plane up, differing only in the second unit
    {"😀.exe", "😀.EXE", true},
    // Whose low units alone would be a case pair (Cyrillic а and А): the character is the whole pair.
    {"\U00010430.exe", "\U00010410.exe", false},
    {"游戏.exe", "游戏.EXE", true},        // no case at all
    {"游戏.exe", "游玩.exe", false},
    {"i.exe", "İ.exe", false},             // dotted capital I folds only in Turkish
    {"\xFF.exe", "\xFF.EXE", true},        // bytes that are not text match themselves
    {"\xFF.exe", "\xFE.exe", false},
    {"\xC3.exe", "\xC3\xA3.exe", false},   // half a sequence is not the whole
    {"", "", true},
};

class FileNames : public testing::TestWithParam<NamePair> {};

TEST_P(FileNames, ComparedAsWindowsAndWineDo) {
    const NamePair& p = GetParam();
    EXPECT_EQ(sameFileName(p.a, p.b), p.same);
    EXPECT_EQ(sameFileName(p.b, p.a), p.same);
}

INSTANTIATE_TEST_SUITE_P(Pairs, FileNames, testing::ValuesIn(kNamePairs));

TEST(NameText, Utf16AndUtf8WithWhatIsNotText) {
    // Half a surrogate pair, as a Windows name may hold, is U+FFFD; a whole pair one character.
    EXPECT_EQ(utf8FromUtf16(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(utf8FromUtf16(u"\xDC00"), "\xEF\xBF\xBD");
    EXPECT_EQ(utf8FromUtf16(u"\xD83C\xDFAE"), "🎮");
    EXPECT_EQ(utf8FromUtf16(u"\xD83C"), "\xEF\xBF\xBD");
    // A byte that is not UTF-8 is U+FFFD, each one; what is text stays.
    EXPECT_EQ(wellFormedUtf8("caf\xE9"), "caf\xEF\xBF\xBD");
    EXPECT_EQ(wellFormedUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");       // overlong
    EXPECT_EQ(wellFormedUtf8("\xE0\x80\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a '/' in three bytes
    EXPECT_EQ(wellFormedUtf8("\xF0\x8F\xBF\xBF"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // U+FFFF in four
    EXPECT_EQ(wellFormedUtf8("\xF4\x90\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // past U+10FFFF
    EXPECT_EQ(wellFormedUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
    EXPECT_EQ(wellFormedUtf8("Игры 🎮"), "Игры 🎮");
    EXPECT_EQ(wellFormedUtf8("\xF0\x9F\x8E"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // cut short
    EXPECT_EQ(utf16FromUtf8("Игры 🎮"), u"Игры 🎮");
    EXPECT_EQ(utf16FromUtf8("a\xFF"), u"a\xFFFD");
}

// A Windows shortcut's ANSI bytes on Linux: Windows-1252, as Wine reads them in
// the Western locales; where it differs from Latin-1, and the five bytes it leaves
// undefined, which Windows maps to the control characters of their number.
TEST(NameText, Windows1252AsWineReadsIt) {
    const std::pair<std::string, std::string> kBytes[] = {
        {"Caf\xE9", "Café"},       {"\x80", "€"},        {"\x9F", "Ÿ"},     {"\x8A\x9A", "Šš"},
        {"\x81\x8D", "\xC2\x81\xC2\x8D"}, {"\xA0\xFF", "\xC2\xA0ÿ"}, {"game.exe", "game.exe"},
    };
    for (const auto& [bytes, text] : kBytes) EXPECT_EQ(fromSystemCodePage(bytes), text) << bytes;
}

struct ShownCase {
    const char* name;
    const char* shown;
};

// A name as one line of text shows it: what would break the line or the
// terminal escaped, the rest as it is.
const ShownCase kShownCases[] = {
    {"C:\\Games\\Game.exe", "C:\\Games\\Game.exe"},
    {"игра\nrm -rf.exe", "игра\\nrm -rf.exe"},
    {"a\rb\tc", "a\\rb\\tc"},
    {"bell\x07\x1B[31m", "bell\\x07\\x1B[31m"},
    {"del\x7F", "del\\x7F"},
    {"c1\xC2\x85", "c1\\u0085"},
    {"latin1 \xE9t\xE9", "latin1 \\xE9t\\xE9"},
    {"cut \xE6\xB8", "cut \\xE6\\xB8"},
    {"🎮 é", "🎮 é"},
};

TEST(NameText, ShownOnOneLine) {
    for (const ShownCase& c : kShownCases) EXPECT_EQ(shownName(c.name), c.shown) << c.name;
}

}  // namespace
