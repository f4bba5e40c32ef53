#include "checker/platform.h"

// Built natively for the tests: there is no running game to read here.

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

void holdOwnConsoleWindow(std::FILE*) {}
