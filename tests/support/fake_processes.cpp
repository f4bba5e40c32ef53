#include "tests/support/fake_processes.h"

#include <algorithm>

namespace {

struct Table {
    std::shared_ptr<std::vector<FakeProcess>> list;
    const FakeProcess* open = nullptr;
    bool refused = false;
};

}  // namespace

Processes fakeProcesses(const std::shared_ptr<std::vector<FakeProcess>>& list) {
    const auto table = std::make_shared<Table>();
    table->list = list;
    Processes processes;
    processes.list = [table](std::vector<RunningProcess>* all, std::string*) {
        for (const FakeProcess& p : *table->list) all->push_back({p.pid, p.name});
        return true;
    };
    processes.open = [table](unsigned pid, GameSource* source, std::string* name, std::string* why) {
        const auto at = std::find_if(table->list->begin(), table->list->end(),
                                     [pid](const FakeProcess& p) { return p.pid == pid; });
        table->refused = at != table->list->end() && at->image == nullptr;
        if (at == table->list->end() || at->image == nullptr) {
            *why = at == table->list->end() ? "no process with that id is running" : "access denied";
            return false;
        }
        table->open = &*at;
        const FakeProcess process = *at;
        *source = {[process](HostAddress a) { return imageRegion(*process.image, a); },
                   [process](HostAddress a, unsigned char* out, std::uint32_t n) {
                       if (process.failsAt != 0 && a <= process.failsAt && process.failsAt - a < n) return false;
                       return readImage(*process.image, a, out, n);
                   }};
        *name = process.name;
        return true;
    };
    processes.openRefused = [table] { return table->refused; };
    processes.readProblem = [] { return std::string("it has ended"); };
    processes.hasPlugin = [table] { return table->open != nullptr && table->open->pluginLoaded; };
    processes.runs = [table](const std::string& file) {
        return table->open != nullptr && !table->open->runs.empty() && table->open->runs == file;
    };
    processes.close = [table] { table->open = nullptr; };
    return processes;
}

Processes noProcesses() { return fakeProcesses(std::make_shared<std::vector<FakeProcess>>()); }
