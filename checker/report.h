#pragma once

// What menupatch-check tells a player, and the same facts as JSON for scripts.
// The first line of a text report is the verdict in plain words.

#include <cstdio>
#include <string>

#include "checker/game_check.h"
#include "checker/pe_image.h"

void printFileReport(std::FILE* out, const std::string& path, const PeImage& image,
                     const FileCheck& check);
void printFileJson(std::FILE* out, const std::string& path, const PeImage& image,
                   const FileCheck& check);

struct ProcessName {
    unsigned pid;
    std::string name;  // the executable's file name
};

void printProcessReport(std::FILE* out, const ProcessName& process, const ProcessCheck& check);
void printProcessJson(std::FILE* out, const ProcessName& process, const ProcessCheck& check);
