#include "tests/wine/wine_host.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

long HostRun::number(const std::string& key) const {
    const auto found = report.find(key);
    return found == report.end() ? -1 : std::stol(found->second, nullptr, 0);
}

std::string HostRun::text(const std::string& key) const {
    const auto found = report.find(key);
    return found == report.end() ? "<absent>" : found->second;
}

std::string windowsPath(const std::string& unixPath) { return "Z:" + unixPath; }

namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string wineCommand(const std::string& program, const std::vector<std::string>& arguments) {
    std::string command = std::string(MENUPATCH_WINE_RUN) + " " + quoted(program);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    return command;
}

std::vector<std::string> hostArguments(const std::vector<std::string>& arguments) {
    const char* dll = std::getenv("MENUPATCH_E2E_DLL");
    std::vector<std::string> all = {"--dll", windowsPath(dll != nullptr ? dll : "")};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

void parseReport(const std::string& output, std::map<std::string, std::string>* report) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto equals = line.find('=');
        if (equals != std::string::npos) (*report)[line.substr(0, equals)] = line.substr(equals + 1);
    }
}

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string readAll(std::FILE* file) {
    std::string text;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) text += buffer;
    return text;
}

}  // namespace

HostRun runSubstituteHost(const std::vector<std::string>& arguments, const std::string& executable) {
    if (std::getenv("MENUPATCH_E2E_DLL") == nullptr) return {-1, "MENUPATCH_E2E_DLL names no DLL to load", {}};
    HostRun run;
    const std::string program = executable.empty() ? MENUPATCH_SUBSTITUTE_HOST : executable;
    FILE* pipe = popen((wineCommand(program, hostArguments(arguments)) + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    run.output = readAll(pipe);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    parseReport(run.output, &run.report);
    return run;
}

StayingHost startStayingHost(const std::vector<std::string>& arguments, const std::string& stopFile,
                             const std::string& executable) {
    StayingHost host;
    host.stopFile = stopFile;
    std::vector<std::string> all = hostArguments(arguments);
    all.insert(all.end(), {"--stay", windowsPath(stopFile)});
    const std::string program = executable.empty() ? MENUPATCH_SUBSTITUTE_HOST : executable;
    host.pipe = popen((wineCommand(program, all) + " 2>&1").c_str(), "r");
    if (host.pipe == nullptr) return host;
    char line[512];
    while (std::fgets(line, sizeof line, host.pipe) != nullptr) {
        host.output += line;
        if (std::string(line).rfind("ready=yes", 0) == 0) break;
    }
    std::map<std::string, std::string> report;
    parseReport(host.output, &report);
    if (report.count("ready") != 0) host.pid = static_cast<unsigned>(std::stoul(report["pid"]));
    return host;
}

void stopStayingHost(StayingHost& host) {
    if (host.pipe == nullptr) return;
    std::ofstream(host.stopFile) << "stop\n";
    host.output += readAll(host.pipe);
    pclose(host.pipe);
    host.pipe = nullptr;
}

namespace {

ProgramRun runCommand(const std::string& command) {
    ProgramRun run;
    char errors[] = "/tmp/menupatch-check-stderr-XXXXXX";
    const int errorsFile = mkstemp(errors);
    FILE* pipe = popen((command + " 2>" + errors + " </dev/null").c_str(), "r");
    if (pipe != nullptr) {
        run.out = withoutCarriageReturns(readAll(pipe));
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream errorText(errors);
    run.err = withoutCarriageReturns(std::string(std::istreambuf_iterator<char>(errorText), {}));
    close(errorsFile);
    std::remove(errors);
    return run;
}

}  // namespace

ProgramRun runUnderWine(const std::string& program, const std::vector<std::string>& arguments) {
    return runCommand(wineCommand(program, arguments));
}

ProgramRun runChecker(const std::vector<std::string>& arguments, const std::string& folder) {
    const std::string enter = folder.empty() ? "" : "cd " + quoted(folder) + " && ";
    return runCommand(enter + wineCommand(MENUPATCH_CHECKER, arguments));
}

ProgramRun runLinuxChecker(const std::vector<std::string>& arguments) {
    std::string command = quoted(MENUPATCH_LINUX_CHECKER);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    return runCommand(command);
}

namespace {

// The Wine process whose command line holds `mark`; 0 when none.
unsigned linuxPidNaming(const std::string& mark) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream file(entry.path() / "cmdline", std::ios::binary);
        const std::string cmdline((std::istreambuf_iterator<char>(file)), {});
        // The shell that started it names the stop file too, but maps no Wine
        // (natively, or under an emulator).
        std::ifstream maps(entry.path() / "maps");
        const std::string mapped((std::istreambuf_iterator<char>(maps)), {});
        if (cmdline.find(mark) != std::string::npos && mapped.find("/ntdll.so") != std::string::npos) {
            return static_cast<unsigned>(std::stoul(name));
        }
    }
    return 0;
}

}  // namespace

// Its command line names its own stop file, which no other process does.
unsigned linuxPidOf(const StayingHost& host) { return linuxPidNaming(windowsPath(host.stopFile)); }

RunningProgram startUnderWine(const std::string& program) {
    return {popen((wineCommand(program, {}) + " >/dev/null 2>&1").c_str(), "r"), program};
}

void endUnderWine(RunningProgram& running) {
    if (running.pipe == nullptr) return;
    // Named by its own path, which no other process's command line holds.
    for (int i = 0; i < 100; ++i) {
        const unsigned pid = linuxPidNaming(std::filesystem::path(running.program).filename().string());
        if (pid == 0) break;
        kill(static_cast<pid_t>(pid), SIGKILL);
        usleep(50000);
    }
    pclose(running.pipe);
    running.pipe = nullptr;
}

void writeSettingsFile(const std::string& folder, std::size_t size,
                       const std::vector<unsigned char>& fromFlag) {
    std::string bytes(size, '\x11');
    for (std::size_t i = 0; i < fromFlag.size() && 1466 + i < size; ++i) {
        bytes[1466 + i] = static_cast<char>(fromFlag[i]);
    }
    std::ofstream(folder + "/korvan.set", std::ios::binary) << bytes;
}

std::string prefixFolder(const std::string& windowsFolder) {
    const char* own = std::getenv("MENUPATCH_WINEPREFIX");
    std::string path = std::string(own != nullptr ? own : MENUPATCH_WINE_PREFIX) + "/drive_c";
    for (std::size_t i = 2; i < windowsFolder.size(); ++i) path += windowsFolder[i] == '\\' ? '/' : windowsFolder[i];
    return path;
}

std::string windowsEnvironment(const std::string& name) {
    FILE* pipe = popen((wineCommand("cmd", {"/c", "echo %" + name + "%"}) + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return {};
    std::string value = withoutCarriageReturns(readAll(pipe));
    pclose(pipe);
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
    return value;
}
