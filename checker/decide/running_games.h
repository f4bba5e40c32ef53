#pragma once

// The running games the checker finds by itself: for a player who double-
// clicks it while the game runs, and for a dragged file whose game is running
// (the file may hide its code; the running game cannot).

#include <cstddef>
#include <string>
#include <vector>

#include "checker/decide/game_check.h"
#include "checker/system/platform.h"

struct RunningGame {
    unsigned pid = 0;
    std::string name;           // its executable's file name
    bool pluginLoaded = false;  // a module named menupatch.dll
    ProcessCheck check;
    std::string problem;  // why its memory could not be read to the end; empty when it could
};

struct RunningGames {
    std::vector<RunningGame> games;  // by process id
    std::size_t lookedAt = 0;        // processes opened and looked at
    std::size_t notRead = 0;         // passed over: this user may not read them
    std::string problem;             // the list of processes could not be had; empty when it could
};

// The running-game check of the process `processes` has open (by pid, named `name`).
RunningGame checkOpenProcess(const Processes& processes, unsigned pid, const std::string& name,
                             const GameSource& source);

// Every running process that is the game: one that has loaded the plug-in
// (build C has no signature to be known by), or whose image holds build A's or
// build B's signature.
RunningGames findRunningGames(const Processes& processes);

// Every running process whose executable is this very file.
RunningGames findRunningFile(const Processes& processes, const std::string& executable);

// The exit status a running game's answer gives: 0 its changes are in place,
// 1 not or partly, 2 it could not be read.
int runningStatus(const RunningGame& game);
// Of several: 2 if any cannot be told, else 1 if any is not in place, else 0.
int runningStatus(const std::vector<RunningGame>& games);
