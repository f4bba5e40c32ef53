// menupatch-check: does the plug-in apply to this game, and did it apply?

#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/platform.h"

int main(int argc, char** argv) {
    const int status = runChecker(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
    holdOwnConsoleWindow(stdout);
    return status;
}
