// The substitute host's game, laid out as one build, written out as an
// executable file: the same file `substitute_host.exe --write-exe` writes, from
// a native program, for a machine that cannot run the substitute host.
//
//   write_game A|B|C|AB PATH

#include <cstdio>
#include <string>

#include "substitute_host/game_executable.h"

int main(int argc, char** argv) {
    GameSetup setup;
    if (argc != 3 || !setupOfBuild(argv[1], &setup)) {
        std::fprintf(stderr, "usage: write_game A|B|C|AB PATH\n");
        return 2;
    }
    if (!writeFile(argv[2], gameExecutable(setup))) {
        std::fprintf(stderr, "write_game: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
