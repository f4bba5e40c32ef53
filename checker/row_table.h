#pragma once

#include <cstdio>

// The nine menu rows (162 bytes, the game's layout) as a table for people: the
// demo and the checker print the same one.
void printRowTable(std::FILE* out, const char* title, const unsigned char* rows);
