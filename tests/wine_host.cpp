#include "tests/wine_host.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

HostRun runSubstituteHost(const std::vector<std::string>& arguments) {
    const char* dll = std::getenv("MENUPATCH_E2E_DLL");
    if (dll == nullptr) return {-1, "MENUPATCH_E2E_DLL names no DLL to load", {}};
    std::string command = std::string(MENUPATCH_WINE_RUN) + " '" + MENUPATCH_SUBSTITUTE_HOST + "'";
    command += " --dll '" + windowsPath(dll) + "'";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " 2>&1";

    HostRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    std::istringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto equals = line.find('=');
        if (equals != std::string::npos) run.report[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return run;
}

void writeSettingsFile(const std::string& folder, std::size_t size,
                       const std::vector<unsigned char>& fromFlag) {
    std::string bytes(size, '\x11');
    for (std::size_t i = 0; i < fromFlag.size() && 1466 + i < size; ++i) {
        bytes[1466 + i] = static_cast<char>(fromFlag[i]);
    }
    std::ofstream(folder + "/korvan.set", std::ios::binary) << bytes;
}

std::string hexOf(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}
