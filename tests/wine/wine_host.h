#pragma once

// Runs the substitute host under Wine with the plug-in that MENUPATCH_E2E_DLL
// names, and reads back its key=value report; runs menupatch-check.exe under
// Wine against it.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

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

// The built substitute host, or the one `executable` names (a packed copy, say).
HostRun runSubstituteHost(const std::vector<std::string>& arguments, const std::string& executable = "");

// A substitute host that stays alive as a running game (its --stay mode).
struct StayingHost {
    std::FILE* pipe = nullptr;
    std::string stopFile;
    unsigned pid = 0;  // as Windows numbers it; 0 when it did not come up
    std::string output;
};

// Starts the host from `executable` (the built one when empty) and waits until it is ready.
StayingHost startStayingHost(const std::vector<std::string>& arguments, const std::string& stopFile,
                             const std::string& executable = "");
void stopStayingHost(StayingHost& host);

struct ProgramRun {
    int exitCode = -1;
    std::string out;  // line ends as the program wrote them, \r\n taken back to \n
    std::string err;

    std::string firstLine() const { return out.substr(0, out.find('\n')); }
    bool says(const std::string& text) const { return out.find(text) != std::string::npos; }
};

// Any Windows program under Wine, in the project's prefix.
ProgramRun runUnderWine(const std::string& program, const std::vector<std::string>& arguments);

// In `folder` as the current directory when one is named.
ProgramRun runChecker(const std::vector<std::string>& arguments, const std::string& folder = "");

// menupatch-check for Linux, reading games under Wine from outside.
ProgramRun runLinuxChecker(const std::vector<std::string>& arguments);

// The Linux process id of a staying host, as ps shows it; 0 when not found.
unsigned linuxPidOf(const StayingHost& host);

// A Windows program left running under Wine (a runnable game, which sleeps
// once it has loaded the plug-in), until endUnderWine ends its process.
struct RunningProgram {
    std::FILE* pipe = nullptr;
    std::string program;
};
RunningProgram startUnderWine(const std::string& program);
void endUnderWine(RunningProgram& running);

// The Unix folder behind a folder of the Wine prefix's drive C: ("C:\\users\\..."),
// for tests that plant files where Windows keeps them.
std::string prefixFolder(const std::string& windowsFolder);

// What a Windows environment variable holds in the prefix.
std::string windowsEnvironment(const std::string& name);

// A settings file of `size` bytes, all 0x11 but the bytes from 1466 on, as far as it goes.
void writeSettingsFile(const std::string& folder, std::size_t size,
                       const std::vector<unsigned char>& fromFlag);

