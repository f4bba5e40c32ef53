#pragma once

// The other executables in a game's folder, for a player who checked a
// launcher (or a crash reporter, or a setup program) instead of the game.

#include <cstddef>
#include <string>
#include <vector>

struct Beside {
    std::vector<std::string> paths;  // largest first
    std::size_t more = 0;            // executables there beyond these
};

// Whether a file name ends in ".exe", in any case, with a name before it.
bool namedAsExecutable(const std::string& name);

// Regular files named *.exe (in any case) in the executable's own folder, not
// the executable itself, largest first (a game is rarely smaller than what
// starts it), at most `most` of them. Links are followed to what they name;
// pipes and devices are passed over, and no file is opened.
Beside executablesBeside(const std::string& executable, std::size_t most);
