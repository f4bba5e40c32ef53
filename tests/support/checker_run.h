#pragma once

// menupatch-check run in the test's own process, and the facts of its JSON.

#include <string>
#include <vector>

#include "checker/checker.h"
#include "tests/support/fake_processes.h"

struct CheckerRun {
    int status = -1;
    std::string out;
    std::string err;

    std::string firstLine() const { return out.substr(0, out.find('\n')); }
    bool says(const std::string& text) const { return out.find(text) != std::string::npos; }
};

// No process runs unless the test lays some out.
inline CheckerRun check(const std::vector<std::string>& args, const VirtualStore& store = {},
                        const Processes& processes = noProcesses()) {
    CheckerRun run;
    run.status = runChecker(args, store, processes, &run.out, &run.err);
    return run;
}

// A "key": value pair as the JSON report writes it.
inline std::string fact(const std::string& key, const std::string& value) { return "\"" + key + "\": " + value; }
inline std::string fact(const std::string& key, long value) { return fact(key, std::to_string(value)); }
inline std::string quoted(const std::string& text) { return "\"" + text + "\""; }
