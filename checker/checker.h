#pragma once

// menupatch-check's command line, all of it but the pause of a console window
// Explorer opened. Returns the exit status: 0 the plug-in applies (or applied),
// 1 it would not (or is not, or partly), 2 cannot tell.

#include <cstdio>
#include <string>
#include <vector>

int runChecker(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
