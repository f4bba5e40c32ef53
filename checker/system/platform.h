#pragma once

// What menupatch-check needs of the system beyond the C++ library. Every name
// the checker handles is UTF-8; the platform turns it into what its system
// calls take. On Windows a running game is read through its process handle, on
// Linux (a game under Wine or Proton) through /proc.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "checker/read/game_source.h"

// The file players drop into the game's folder, as a loaded module is named.
constexpr char kPluginFileName[] = "menupatch.dll";

struct RunningProcess {
    unsigned pid;
    std::string name;
};

// The running process as a read-only game source: query and read rights only,
// every read asked about first. False, with the reason in a player's words.
bool openGameProcess(unsigned pid, GameSource* source, std::string* name, std::string* why);
void closeGameProcess();
// Why the last read of the open process failed, in a player's words.
std::string processReadProblem();

// The last openGameProcess failed because this user may not read that
// process (not because it has ended, or is none of the game's kind).
bool processOpenRefused();

// Every running process there is to look at for the game, but the checker
// itself: on Linux those that may be Windows programs under Wine or Proton.
bool listProcesses(std::vector<RunningProcess>* all, std::string* why);

// Of the open process: whether it has loaded a module named menupatch.dll (in
// any case), and whether its executable is this very file (not one of the
// same name: two installs of the game may run).
bool openProcessHasPlugin();
bool openProcessRuns(const std::string& executable);

// The running processes as the checker sees them: the system's, or a test's.
// One is open at a time.
struct Processes {
    std::function<bool(std::vector<RunningProcess>*, std::string*)> list;
    std::function<bool(unsigned, GameSource*, std::string*, std::string*)> open;
    std::function<bool()> openRefused;
    std::function<std::string()> readProblem;
    std::function<bool()> hasPlugin;
    std::function<bool(const std::string&)> runs;
    std::function<void()> close;
};

Processes systemProcesses();

// A file by its UTF-8 name, for reading in byte mode; null if it cannot be opened.
std::FILE* openToRead(const std::string& path);

// Text in the system's ANSI code page (an old shortcut's path), as UTF-8. On
// Linux, Windows-1252's, which Wine uses in the Western locales.
std::string fromSystemCodePage(const std::string& text);

// The file a shortcut's path names, as this system reaches it: `target` in
// Windows' form (UTF-8), relative to the shortcut's folder when `relative`.
// False with the reason when it cannot be reached at all.
bool shortcutTargetPath(const std::string& shortcut, const std::string& target, bool relative,
                        std::string* path, std::string* why);

// What the checker says, on standard output or standard error.
void writeOut(const std::string& text);
void writeErr(const std::string& text);

// Explorer gives a program started by dropping a file on it a console window of
// its own, which closes when the program ends: keep it open until Enter.
void holdOwnConsoleWindow();
