// menupatch-check on Linux: the same checks, of a game's file or of the game
// running under Wine or Proton.

#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/system/platform.h"
#include "checker/find/virtual_store.h"

int main(int argc, char** argv) {
    std::string out;
    std::string err;
    const int status =
        runChecker(std::vector<std::string>(argv + 1, argv + argc), systemVirtualStore(), systemProcesses(), &out, &err);
    writeOut(out);
    writeErr(err);
    return status;
}
