#pragma once

#include <string>

// Many hosts in one process, each laid out with arbitrary slot values and page
// protections from a seeded generator, each loading the plug-in once.
struct RandomRun {
    std::string dll;
    std::string settingsFolder;
    std::string startFolder;
    unsigned seed = 1;
    int count = 1000;
    int seconds = 30;  // stop early rather than run past this
};

// Prints the seed, how many hosts it tried and any byte written outside the
// ranges the sequence may write; 0 when there was none. A crash exits with 3
// after naming the host.
int runRandomHosts(const RandomRun& run);
