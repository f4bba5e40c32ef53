#include "checker/decide/running_games.h"

#include <algorithm>
#include <functional>

#include "checker/find/paths.h"
#include "text/text.h"

namespace {

// Opens each listed process that `take` lets by, checks it, and keeps those
// that `keep` says are wanted.
RunningGames lookAt(const Processes& processes, const std::function<bool(const RunningProcess&)>& take,
                    const std::function<bool(const RunningGame&)>& keep) {
    RunningGames found;
    std::vector<RunningProcess> all;
    if (!processes.list(&all, &found.problem)) return found;
    std::sort(all.begin(), all.end(), [](const RunningProcess& a, const RunningProcess& b) { return a.pid < b.pid; });
    for (const RunningProcess& process : all) {
        if (!take(process)) continue;
        GameSource source;
        std::string name;
        std::string why;
        if (!processes.open(process.pid, &source, &name, &why)) {
            // Another user's, the system's: passed over. One that ended, or a
            // 64-bit one, is no game to count.
            if (processes.openRefused()) ++found.notRead;
            continue;
        }
        ++found.lookedAt;
        const RunningGame game = checkOpenProcess(processes, process.pid, name, source);
        if (keep(game)) found.games.push_back(game);
        processes.close();
    }
    return found;
}

}  // namespace

RunningGame checkOpenProcess(const Processes& processes, unsigned pid, const std::string& name,
                             const GameSource& source) {
    RunningGame game;
    game.pid = pid;
    game.name = name;
    game.pluginLoaded = processes.hasPlugin();
    game.check = checkRunningGame(source);
    if (game.check.failed) {
        game.problem = processes.readProblem() + (game.check.readPlace.empty() ? "" : " (" + game.check.readPlace + ")");
    }
    return game;
}

RunningGames findRunningGames(const Processes& processes) {
    return lookAt(
        processes, [](const RunningProcess&) { return true; },
        [](const RunningGame& game) { return game.pluginLoaded || game.check.signature; });
}

RunningGames findRunningFile(const Processes& processes, const std::string& executable) {
    const std::string name = textOf(pathOf(executable).filename());
    // Only a process of that name is opened: the same file runs under its own name.
    return lookAt(
        processes, [&](const RunningProcess& process) { return sameFileName(process.name, name); },
        [&](const RunningGame&) { return processes.runs(executable); });
}

int runningStatus(const RunningGame& game) {
    if (!game.problem.empty()) return 2;
    return game.check.applied == Applied::Yes ? 0 : 1;
}

int runningStatus(const std::vector<RunningGame>& games) {
    int status = 0;
    for (const RunningGame& game : games) {
        const int one = runningStatus(game);
        if (one == 2 || (one == 1 && status == 0)) status = one;
    }
    return status;
}
