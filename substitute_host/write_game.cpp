// The substitute host's game, laid out as one build, written out as an
// executable file: the same file `substitute_host.exe --write-exe` writes, from
// a native program, for a machine that cannot run the substitute host.
//
//   write_game A|B|C|AB PATH
//   write_game --sections N --manifest-kib K PATH   none of the builds: N sections,
//                                                   a manifest of K KiB in the last

#include <cstdio>
#include <cstdlib>
#include <string>

#include "substitute_host/game_executable.h"

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    GameSetup setup;
    std::vector<unsigned char> file;
    if (argc == 3 && setupOfBuild(first, &setup)) {
        file = gameExecutable(setup);
    } else if (argc == 6 && first == "--sections" && std::string(argv[3]) == "--manifest-kib") {
        const unsigned long sections = std::strtoul(argv[2], nullptr, 10);
        const unsigned long kib = std::strtoul(argv[4], nullptr, 10);
        if (sections < 1 || sections > 65535 || kib < 1 || kib > 1024) return 2;
        file = manySectionsExecutable(static_cast<std::uint32_t>(sections),
                                      static_cast<std::uint32_t>(kib << 10));
    } else {
        std::fprintf(
            stderr,
            "usage: write_game A|B|C|AB PATH, or write_game --sections N --manifest-kib K PATH\n");
        return 2;
    }
    if (!writeFile(argv[argc - 1], file)) {
        std::fprintf(stderr, "write_game: cannot write %s\n", argv[argc - 1]);
        return 1;
    }
    return 0;
}
