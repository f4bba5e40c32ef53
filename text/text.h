#pragma once

// The checker builds what it prints as UTF-8 text first; the platform decides
// how it reaches the player (a console wants UTF-16, a pipe or a file UTF-8).

#include <cstdint>
#include <string>
#include <vector>

// printf into a string.
std::string textf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A number as the reports write it: "0x" and upper-case hex digits, at least
// `digits` of them.
std::string hexNumber(std::uint64_t value, int digits = 0);

// Bytes as two lower-case hex digits each, in their order: how reports and
// the JSON show rows and changes.
std::string hexBytes(const std::vector<unsigned char>& bytes);

// File and process names compared without case, the same on Windows and Linux
// and as Windows and Wine compare them: UTF-16 unit by unit, each upper-cased
// by their table. So a letter outside the BMP matches only itself, and Unicode's
// wider folding (the Kelvin sign and k, ẞ and ß) does not count. A byte that is
// not UTF-8 matches only itself.
bool sameFileName(const std::string& a, const std::string& b);

// One UTF-16 unit upper-cased as Windows and Wine compare names (text/upper_case.cpp).
char16_t windowsUpperCase(char16_t unit);

// A name from outside (a path, a process) as a line of text may show it: a
// control character as \n, \r, \t or \xNN, and a byte that is not UTF-8 as \xNN,
// so that no name breaks a line or the terminal.
std::string shownName(const std::string& name);

// Names come from outside (a shortcut, a folder, the system) in UTF-16 or in
// bytes that need not be UTF-8; what the checker handles is UTF-8 throughout.

// The length of the well-formed UTF-8 sequence at `at`, or 0 if there is none.
std::size_t utf8SequenceLength(const std::string& text, std::size_t at);

// The text with every byte that is not part of a well-formed sequence as U+FFFD.
std::string wellFormedUtf8(const std::string& text);

// UTF-16 as UTF-8; half a surrogate pair, which a Windows name may hold, as U+FFFD.
std::string utf8FromUtf16(const std::u16string& units);

// UTF-8 as UTF-16, an ill-formed byte as U+FFFD.
std::u16string utf16FromUtf8(const std::string& text);
