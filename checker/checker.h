#pragma once

// menupatch-check's command line, all of it but the console: what it says goes
// to `out` and `err` as UTF-8. Returns the exit status: 0 the plug-in applies
// (or applied), 1 it would not (or is not, or partly), 2 cannot tell.

#include <string>
#include <vector>

#include "checker/decide/game_view.h"
#include "checker/tell/report.h"
#include "checker/find/virtual_store.h"

int runChecker(const std::vector<std::string>& args, const VirtualStore& store, std::string* out,
               std::string* err);

// The verdict on a running game that is open as `game`: its report (text, or
// JSON) on `out`, or why it cannot tell on `err`; returns the exit status.
int checkOpenGame(const GameSource& game, const ProcessName& process, bool json, std::string* out,
                  std::string* err);
