#include "checker/platform.h"

#include "checker/virtual_store.h"

// Built natively for the tests: there is no running game to read here, and
// no VirtualStore.

bool openGameProcess(unsigned, GameSource*, std::string*, std::string* why) {
    *why = "reading a running game needs Windows";
    return false;
}

void closeGameProcess() {}

std::string processReadProblem() { return {}; }

bool findProcesses(const std::string&, std::vector<RunningProcess>*, std::string* why) {
    *why = "finding a running game needs Windows";
    return false;
}

std::FILE* openToRead(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

std::string fromSystemCodePage(const std::string& text) { return text; }

void writeOut(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void writeErr(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

void holdOwnConsoleWindow() {}

VirtualStore systemVirtualStore() { return {}; }
