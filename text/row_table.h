#pragma once

#include <string>

// The nine menu rows (162 bytes, the game's layout) as a table for people: the
// demo and the checker print the same one.
std::string rowTable(const char* title, const unsigned char* rows);
