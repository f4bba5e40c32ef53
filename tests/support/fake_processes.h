#pragma once

// Running processes as a test lays them out: each a game image (written by
// write_game's code, then changed), what it has loaded and which file it runs.
// Behind the same table the checker takes the system's from.

#include <memory>
#include <string>
#include <vector>

#include "checker/read/pe_image.h"
#include "checker/system/platform.h"

struct FakeProcess {
    unsigned pid = 0;
    std::string name;
    std::shared_ptr<PeImage> image;  // its memory; null: one this user may not read
    bool pluginLoaded = false;
    std::string runs;  // the file it runs (as the checker was given it); empty: none the test names
    HostAddress failsAt = 0;  // a read of its memory that takes this byte in fails; 0: none
};

// The processes the checker sees; the list is the test's to change.
Processes fakeProcesses(const std::shared_ptr<std::vector<FakeProcess>>& list);

// No process runs: what the tests that check files see.
Processes noProcesses();
