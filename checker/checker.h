#pragma once

// menupatch-check's command line, all of it but the console: what it says goes
// to `out` and `err` as UTF-8. Returns the exit status: 0 the plug-in applies
// (or applied), 1 it would not (or is not, or partly), 2 cannot tell.

#include <string>
#include <vector>

#include "checker/decide/game_view.h"
#include "checker/system/platform.h"
#include "checker/tell/report.h"
#include "checker/find/virtual_store.h"

// The running processes are `processes`: the system's, or a test's.
int runChecker(const std::vector<std::string>& args, const VirtualStore& store, const Processes& processes,
               std::string* out, std::string* err);
