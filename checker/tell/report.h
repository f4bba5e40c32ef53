#pragma once

// What menupatch-check tells a player, and the same facts as JSON for scripts.
// The first line of a text report is the verdict in plain words. All of it is
// UTF-8: names of files and processes may be in any script.

#include <string>

#include "checker/decide/game_check.h"
#include "checker/decide/running_games.h"
#include "checker/read/pe_image.h"

// `running`: the processes that run this very file. Where the file cannot tell,
// their answer is the verdict; where it can, their state follows it.
std::string fileReport(const std::string& path, const PeImage& image, const FileCheck& check,
                       const std::vector<RunningGame>& running = {});
std::string fileJson(const std::string& path, const PeImage& image, const FileCheck& check,
                     const std::vector<RunningGame>& running = {});

// What the folder's other executables hold, for the end of a one-line reason:
// "; beside it, game.exe is build A: ..."; empty where none was found.
std::string besideLine(const FileCheck& check);

struct ProcessName {
    unsigned pid;
    std::string name;  // the executable's file name
};

std::string processReport(const ProcessName& process, const ProcessCheck& check);
std::string processJson(const ProcessName& process, const ProcessCheck& check);

// The running games found with nothing named: each one's report, or the plain
// words that none was, and how to use the checker.
std::string runningGamesReport(const RunningGames& found);
std::string runningGamesJson(const RunningGames& found);
