#include "checker/checker.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "checker/game_check.h"
#include "checker/pe_image.h"
#include "checker/platform.h"
#include "checker/report.h"
#include "plugin/settings_flag.h"

namespace {

constexpr int kApplies = 0;
constexpr int kDoesNotApply = 1;
constexpr int kCannotTell = 2;

// No executable of the game comes near this; a larger file is not read into memory.
constexpr std::uintmax_t kLargestExecutable = 512u << 20;

constexpr char kUsage[] =
    "usage: menupatch-check [--settings PATH] [--json] GAME.EXE\n"
    "       menupatch-check [--json] --pid PID\n"
    "       menupatch-check [--json] --process NAME.exe\n"
    "\n"
    "With GAME.EXE, reads the game's executable without running it and tells whether the plug-in\n"
    "will apply, and what it will change. --settings names the settings file or the folder that\n"
    "holds it (by default the executable's folder). With --pid or --process, reads the running\n"
    "game and tells whether the plug-in's changes are in place.\n"
    "Exit status: 0 applies (or applied), 1 does not (or not in place, or partly), 2 cannot tell.\n";

struct Options {
    std::string game;
    std::string settings;
    bool json = false;
    bool help = false;
    unsigned pid = 0;
    std::string processName;
};

int cannotTell(std::FILE* err, const std::string& what, const std::string& why) {
    std::fprintf(err, "menupatch-check: %s: %s\n", what.c_str(), why.c_str());
    return kCannotTell;
}

bool parsePid(const std::string& text, unsigned* pid) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    *pid = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return *pid != 0;
}

// False with the reason when the words do not make one request.
bool parse(const std::vector<std::string>& args, Options* options, std::string* why) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--json") {
            options->json = true;
        } else if (arg == "--help" || arg == "-h" || arg == "/?") {
            options->help = true;
        } else if (arg == "--settings" || arg == "--pid" || arg == "--process") {
            if (!hasValue) {
                *why = arg + " needs a value";
                return false;
            }
            const std::string& value = args[++i];
            if (arg == "--settings") {
                options->settings = value;
            } else if (arg == "--process") {
                options->processName = value;
            } else if (!parsePid(value, &options->pid)) {
                *why = "--pid takes a process id, a whole number above 0, not \"" + value + "\"";
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            *why = "unknown option " + arg;
            return false;
        } else if (!options->game.empty()) {
            *why = "one executable at a time (" + options->game + " and " + arg + ")";
            return false;
        } else {
            options->game = arg;
        }
    }
    if (options->help) return true;
    const int targets = !options->game.empty() + (options->pid != 0) + !options->processName.empty();
    if (targets != 1) {
        *why = targets == 0 ? "name the game's executable, or a running game with --pid or --process"
                            : "name one of: an executable, --pid, --process";
        return false;
    }
    if (!options->settings.empty() && options->game.empty()) {
        *why = "--settings goes with an executable, not with a running game";
        return false;
    }
    return true;
}

bool sameFileName(std::string a, std::string b) {
    for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return a == b;
}

// The folder the plug-in would find the settings file in; empty, with the reason, if none.
std::string settingsFolder(const Options& options, std::string* why) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path folder;
    if (options.settings.empty()) {
        folder = fs::path(options.game).parent_path();
    } else if (fs::is_directory(options.settings, error)) {
        folder = options.settings;
    } else if (fs::exists(options.settings, error)) {
        const fs::path file(options.settings);
        if (!sameFileName(file.filename().string(), kSettingsFileName)) {
            *why = std::string("the plug-in reads ") + kSettingsFileName + ", not " + file.filename().string();
            return {};
        }
        folder = file.parent_path();
    } else {
        *why = "no such file or folder";
        return {};
    }
    if (folder.empty()) folder = ".";
    return fs::absolute(folder, error).lexically_normal().string();
}

int checkFile(const Options& options, std::FILE* out, std::FILE* err) {
    namespace fs = std::filesystem;
    const std::string& game = options.game;
    std::error_code error;
    const fs::file_status status = fs::status(game, error);
    if (!fs::exists(status)) return cannotTell(err, game, "no such file");
    if (fs::is_directory(status)) return cannotTell(err, game, "a folder, not the game's executable");
    const std::uintmax_t size = fs::file_size(game, error);
    if (error) return cannotTell(err, game, "cannot be read (" + error.message() + ")");
    if (size > kLargestExecutable) return cannotTell(err, game, "too large to be the game's executable");

    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    std::FILE* file = std::fopen(game.c_str(), "rb");
    if (file == nullptr) return cannotTell(err, game, "cannot be opened");
    const bool read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    if (!read) return cannotTell(err, game, "cannot be read");
    PeImage image;
    const ImageReading reading = readPeImage(std::move(bytes), &image);
    if (reading.problem != ImageProblem::None) return cannotTell(err, game, reading.why);

    std::string why;
    const std::string folder = settingsFolder(options, &why);
    if (folder.empty()) return cannotTell(err, options.settings, why);

    const FileCheck check = checkGameFile(image, folder);
    if (check.failed) return cannotTell(err, folder, "the settings folder could not be entered");
    if (options.json) {
        printFileJson(out, game, image, check);
    } else {
        printFileReport(out, game, image, check);
    }
    return check.check == HostCheck::Fit ? kApplies : kDoesNotApply;
}

int checkProcess(const Options& options, std::FILE* out, std::FILE* err) {
    unsigned pid = options.pid;
    if (pid == 0) {
        std::vector<RunningProcess> found;
        std::string why;
        if (!findProcesses(options.processName, &found, &why)) return cannotTell(err, options.processName, why);
        if (found.empty()) return cannotTell(err, options.processName, "no running process has that name");
        if (found.size() > 1) {
            std::sort(found.begin(), found.end(),
                      [](const RunningProcess& a, const RunningProcess& b) { return a.pid < b.pid; });
            std::string pids;
            for (const RunningProcess& process : found) {
                pids += (pids.empty() ? "" : ", ") + std::to_string(process.pid);
            }
            return cannotTell(err, options.processName,
                              std::to_string(found.size()) + " running processes have that name (pids " +
                                  pids + "); choose one with --pid");
        }
        pid = found.front().pid;
    }
    const std::string what = "process " + std::to_string(pid);
    GameSource source;
    ProcessName process{pid, {}};
    std::string why;
    if (!openGameProcess(pid, &source, &process.name, &why)) return cannotTell(err, what, why);
    const ProcessCheck check = checkRunningGame(source);
    const std::string problem = processReadProblem();
    closeGameProcess();
    if (check.failed) return cannotTell(err, what, problem);
    if (options.json) {
        printProcessJson(out, process, check);
    } else {
        printProcessReport(out, process, check);
    }
    return check.applied == Applied::Yes ? kApplies : kDoesNotApply;
}

}  // namespace

int runChecker(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    Options options;
    std::string why;
    if (!parse(args, &options, &why)) {
        std::fprintf(err, "menupatch-check: %s (--help tells how)\n", why.c_str());
        return kCannotTell;
    }
    if (options.help) {
        std::fputs(kUsage, out);
        return kApplies;
    }
    return options.game.empty() ? checkProcess(options, out, err) : checkFile(options, out, err);
}
