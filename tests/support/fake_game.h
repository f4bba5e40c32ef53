#pragma once

// The game's memory as the three builds lay it out, in the recording fake, and
// a test fixture with real folders for the settings file.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "host/host_memory.h"
#include "substitute_host/game_layout.h"

// Code pages execute-read, data pages read-write, every build's slots filled,
// the signature where asked; the menu page and the flag byte hold filler.
void layOutGame(bool signatureAtA, bool signatureAtB);

// Runs in a fresh fake game, with a settings folder and a starting folder of its
// own on disk. The settings routines of the chosen build move between them.
class GameTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The build's two routines do what the game's do: make the settings folder
    // current, and later leave it. Each records the flag byte it saw.
    void serveRoutinesOf(const HostProfile& build);

    // A settings file of `size` bytes whose byte at `offset` is `value`.
    static void writeFile(const std::string& folder, std::size_t size, std::size_t offset,
                          unsigned char value);

    std::string settingsFolder;
    std::string startFolder;
    int flagSeenOnEnter = -1;
    int flagSeenOnSetDir = -1;
    int openFilesOnSetDir = -1;
    int openFilesBefore = -1;

private:
    std::string root;
    std::string originalFolder;
};

int openFileCount();
