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

// File names as Windows and Wine compare them: ASCII letters without case.
bool sameFileName(const std::string& a, const std::string& b);
