#pragma once

// The checker builds what it prints as UTF-8 text first; the platform decides
// how it reaches the player (a console wants UTF-16, a pipe or a file UTF-8).

#include <string>

// printf into a string.
std::string textf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// File names as Windows and Wine compare them: ASCII letters without case.
bool sameFileName(const std::string& a, const std::string& b);
