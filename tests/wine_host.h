#pragma once

// Runs the substitute host under Wine with the plug-in that MENUPATCH_E2E_DLL
// names, and reads back its key=value report.

#include <map>
#include <string>
#include <vector>

#include "tests/temp_folder.h"

struct HostRun {
    int exitCode = -1;
    std::string output;
    std::map<std::string, std::string> report;

    // The reported number (the host prints them in hex); -1 when absent.
    long number(const std::string& key) const;
    std::string text(const std::string& key) const;
};

// The same folder as a program under Wine names it.
std::string windowsPath(const std::string& unixPath);

HostRun runSubstituteHost(const std::vector<std::string>& arguments);

// A settings file of `size` bytes, all 0x11 but the bytes from 1466 on, as far as it goes.
void writeSettingsFile(const std::string& folder, std::size_t size,
                       const std::vector<unsigned char>& fromFlag);

std::string hexOf(const std::vector<unsigned char>& bytes);
