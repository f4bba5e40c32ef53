#include "checker/checker.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "checker/decide/game_check.h"
#include "checker/decide/running_games.h"
#include "checker/find/beside.h"
#include "checker/find/paths.h"
#include "checker/read/pe_image.h"
#include "checker/system/platform.h"
#include "checker/tell/report.h"
#include "checker/read/shortcut.h"
#include "text/text.h"
#include "plugin/settings_flag.h"

namespace {

constexpr int kApplies = 0;
constexpr int kDoesNotApply = 1;
constexpr int kCannotTell = 2;

// No executable of the game comes near this; a larger file is not read into memory.
constexpr std::uintmax_t kLargestExecutable = 512u << 20;

constexpr char kUsage[] =
    "usage: menupatch-check [--settings PATH] [--json] GAME.EXE|SHORTCUT.lnk\n"
    "       menupatch-check [--json] --pid PID\n"
    "       menupatch-check [--json] --process NAME.exe\n"
    "       menupatch-check [--json]\n"
    "       menupatch-check --help (or -h, /?)\n"
    "       menupatch-check --version\n"
    "\n"
    "With GAME.EXE, reads the game's executable without running it and tells whether the plug-in\n"
    "will apply, and what it will change. --settings names the settings file or the folder that\n"
    "holds it (by default the executable's folder). With --pid or --process, reads the running\n"
    "game and tells whether the plug-in's changes are in place. With nothing named (a double-click),\n"
    "finds the running games itself and tells the same of each. A file whose game is running is\n"
    "answered by the running game too.\n"
    "Exit status: 0 applies (or applied), 1 does not (or not in place, or partly), 2 cannot tell.\n";

struct Options {
    std::string game;
    std::string settings;
    bool json = false;
    bool help = false;
    bool version = false;
    unsigned pid = 0;
    std::string processName;
};

namespace fs = std::filesystem;

// Why a file or folder cannot be had, from what the system said, in words.
// Compared as conditions: Windows' own error codes map onto them too.
std::string fileProblem(const std::error_code& error, const char* missing) {
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
        return missing;
    }
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
        return "access denied (this user may not read it, or a folder on the way)";
    }
    if (error == std::errc::too_many_symbolic_link_levels) return "a loop of symbolic links";
    return "cannot be read (" + error.message() + ")";
}

// One line on standard error, whatever the names in it hold.
int cannotTell(std::string* err, const std::string& what, const std::string& why) {
    *err += "menupatch-check: " + shownName(what + ": " + why) + "\n";
    return kCannotTell;
}

// What a file that is not one is, in words; empty for a file, a folder or nothing.
// Such a file may keep a reader waiting for ever (a named pipe) or never end (a device).
std::string notAFile(const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::fifo: return "a named pipe (FIFO)";
        case fs::file_type::socket: return "a socket";
        case fs::file_type::block:
        case fs::file_type::character: return "a device";
        default: return "";
    }
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
        } else if (arg == "--version") {
            options->version = true;
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
    if (options->help || options->version) return true;
    // None: the running games are looked for.
    const int targets = !options->game.empty() + (options->pid != 0) + !options->processName.empty();
    if (targets > 1) {
        *why = "name one of: an executable, --pid, --process";
        return false;
    }
    if (!options->settings.empty() && options->game.empty()) {
        *why = "--settings goes with an executable, not with a running game";
        return false;
    }
    return true;
}

// The folder the plug-in would find the settings file in; empty, with the reason, if none.
std::string settingsFolder(const std::string& game, const std::string& settings, std::string* why) {
    std::error_code error;
    fs::path folder;
    const fs::path named = pathOf(settings);
    const fs::file_status status = settings.empty() ? fs::file_status() : fs::status(named, error);
    if (settings.empty()) {
        folder = pathOf(game).parent_path();
    } else if (error == std::errc::no_such_file_or_directory && sameFileName(textOf(named.filename()), kSettingsFileName) &&
               !spellingsIn(named.parent_path().empty() ? fs::path(".") : named.parent_path(),
                            textOf(named.filename())).empty()) {
        // Named in another case than the folder spells it: the game opens it all the same.
        folder = named.parent_path();
    } else if (error) {
        *why = fileProblem(error, "no such file or folder");
        return {};
    } else if (fs::is_directory(status)) {
        folder = named;
    } else {
        if (!sameFileName(textOf(named.filename()), kSettingsFileName)) {
            *why = std::string("the plug-in reads ") + kSettingsFileName + ", not " +
                   textOf(named.filename());
            return {};
        }
        folder = named.parent_path();
    }
    if (folder.empty()) folder = ".";
    return textOf(fs::absolute(folder, error).lexically_normal());
}

// The whole file, or false with the reason.
bool readWholeFile(const std::string& path, std::vector<unsigned char>* bytes, std::string* why) {
    std::error_code error;
    const fs::path file = pathOf(path);
    const fs::file_status status = fs::status(file, error);
    if (error) {
        *why = fileProblem(error, "no such file");
        return false;
    }
    if (fs::is_directory(status)) {
        *why = "a folder, not the game's executable";
        return false;
    }
    if (!notAFile(status).empty()) {
        *why = notAFile(status) + ", not the game's executable";
        return false;
    }
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) {
        *why = "cannot be read (" + error.message() + ")";
        return false;
    }
    if (size > kLargestExecutable) {
        *why = "too large to be the game's executable";
        return false;
    }
    bytes->resize(static_cast<std::size_t>(size));
    std::FILE* stream = openToRead(path);
    if (stream == nullptr) {
        *why = fileProblem(std::error_code(errno, std::generic_category()), "no such file");
        return false;
    }
    const bool read = std::fread(bytes->data(), 1, bytes->size(), stream) == bytes->size();
    std::fclose(stream);
    if (!read) *why = "cannot be read";
    return read;
}

// Wine, like Windows, opens a file whatever the case of its name; a Linux folder
// may hold korvan.set as KORVAN.SET, or as more than one of its spellings.
bool settingsNameInFolder(const std::string& folder, std::string* name, std::string* why) {
    std::vector<std::string> spellings = spellingsIn(pathOf(folder), kSettingsFileName);
    std::sort(spellings.begin(), spellings.end());
    if (spellings.size() > 1) {
        std::string list;
        for (const std::string& file : spellings) list += (list.empty() ? "" : ", ") + file;
        *why = std::to_string(spellings.size()) + " files named " + kSettingsFileName + " but for case (" + list +
               "): the game under Wine opens whichever the folder lists first; keep one of them";
        return false;
    }
    if (spellings.size() == 1) *name = spellings.front();
    return true;
}

// A dragged shortcut stands for the file it names: the game's path, or false
// with the reason (an internet shortcut names no file).
bool followShortcut(const std::string& shortcut, const std::vector<unsigned char>& bytes, std::string* game,
                    std::string* why) {
    if (shortcutKind(bytes) == ShortcutKind::InternetShortcut) {
        const std::string url = internetShortcutUrl(bytes);
        *why = "an internet shortcut" + (url.empty() ? std::string() : " (" + url + ")") +
               ", which starts the game through its store or launcher and names no file. Check the game's own "
               "executable: in its launcher, open the game's folder (in Steam: Manage, Browse local files) "
               "and drag the .exe from there";
        return false;
    }
    const ShellLinkTarget target = readShellLink(bytes, fromSystemCodePage);
    if (target.path.empty()) {
        *why = target.why;
        return false;
    }
    return shortcutTargetPath(shortcut, target.path, target.relative, game, why);
}

// The settings file's folder and name as the game would find them, vetted; false
// with what and why where there is none to read. `virtualised`: no manifest keeps
// Windows from redirecting the game to the VirtualStore.
bool settingsFor(const std::string& game, const Options& options, bool virtualised, const VirtualStore& store,
                 SettingsChoice* settings, std::string* what, std::string* why) {
    const std::string folder = settingsFolder(game, options.settings, why);
    if (folder.empty()) {
        *what = options.settings;
        return false;
    }
    *settings = chooseSettingsFolder(folder, virtualised, store);
    if (!settingsNameInFolder(settings->folder, &settings->fileName, why)) {
        *what = settings->folder;
        return false;
    }
    // The dry run opens the settings file as the game does, which a named pipe would hold for ever.
    std::error_code error;
    const fs::path settingsFile = pathOf(settings->folder) / pathOf(settings->fileName);
    const std::string kind = notAFile(fs::status(settingsFile, error));
    if (!kind.empty()) {
        *what = textOf(settingsFile);
        *why = kind + ", not a settings file: what the game reads from it is not known before it runs";
        return false;
    }
    return true;
}

// A player may have checked the game's launcher: the other executables in its
// folder, each read and checked as any executable is (but not their own neighbours).
void lookBeside(const std::string& game, const SettingsChoice& settings, FileCheck* check) {
    // Enough for any game's folder; a folder of thousands does not slow the check.
    constexpr std::size_t kMostBeside = 16;
    const Beside beside = executablesBeside(game, kMostBeside);
    check->besideLooked = true;
    check->besideNotRead = beside.more;
    for (const std::string& path : beside.paths) {
        std::vector<unsigned char> bytes;
        std::string why;
        PeImage image;
        if (!readWholeFile(path, &bytes, &why) || readPeImage(std::move(bytes), &image).problem != ImageProblem::None) {
            continue;
        }
        ++check->besideRead;
        const FileCheck other = checkGameFile(image, settings);
        if (!other.problem.empty()) continue;
        if (!other.hidden.empty()) {
            check->beside.push_back({path, nullptr});
        } else if (other.check == HostCheck::Fit) {
            check->beside.push_back({path, other.build});
        }
    }
}

int checkFile(const Options& options, const VirtualStore& store, const Processes& processes, std::string* out,
              std::string* err) {
    std::string game = options.game;
    std::string shortcut;
    std::vector<unsigned char> bytes;
    std::string why;
    if (!readWholeFile(game, &bytes, &why)) return cannotTell(err, game, why);
    if (shortcutKind(bytes) != ShortcutKind::None) {
        shortcut = game;
        if (!followShortcut(shortcut, bytes, &game, &why)) return cannotTell(err, shortcut, why);
        // One step only: a shortcut to a shortcut is not the game.
        if (!readWholeFile(game, &bytes, &why)) return cannotTell(err, shortcut + " -> " + game, why);
        if (shortcutKind(bytes) != ShortcutKind::None) {
            return cannotTell(err, shortcut + " -> " + game, "a shortcut to another shortcut, not to the game");
        }
    }
    const std::string what = shortcut.empty() ? game : shortcut + " -> " + game;
    PeImage image;
    const ImageReading reading = readPeImage(std::move(bytes), &image);
    SettingsChoice settings;
    std::string where;
    if (reading.problem == ImageProblem::OtherProcessor) {
        // A 64-bit launcher beside the 32-bit game, say.
        FileCheck check;
        if (settingsFor(game, options, true, store, &settings, &where, &why)) lookBeside(game, settings, &check);
        return cannotTell(err, what, reading.why + besideLine(check));
    }
    if (reading.problem != ImageProblem::None) return cannotTell(err, what, reading.why);

    const bool virtualised = !manifestRequestsExecutionLevel(imageManifest(image));
    if (!settingsFor(game, options, virtualised, store, &settings, &where, &why)) return cannotTell(err, where, why);

    FileCheck check = checkGameFile(image, settings);
    if (!check.problem.empty()) return cannotTell(err, check.readFailed ? what : settings.folder, check.problem);
    check.shortcut = shortcut;
    if (!check.hidden.empty() || check.check != HostCheck::Fit) lookBeside(game, settings, &check);
    // The game may be running from this very file: where the file cannot
    // tell, the running game answers; where it can, the running game's state
    // follows.
    const RunningGames running = findRunningFile(processes, game);
    *out += options.json ? fileJson(game, image, check, running.games) : fileReport(game, image, check, running.games);
    if (!check.hidden.empty()) return running.games.empty() ? kCannotTell : runningStatus(running.games);
    return check.check == HostCheck::Fit ? kApplies : kDoesNotApply;
}

int checkProcess(const Options& options, const Processes& processes, std::string* out, std::string* err) {
    unsigned pid = options.pid;
    if (pid == 0) {
        std::vector<RunningProcess> all;
        std::string why;
        if (!processes.list(&all, &why)) return cannotTell(err, options.processName, why);
        std::vector<RunningProcess> found;
        for (const RunningProcess& process : all) {
            // Without case, in any script, as Windows and Wine compare names.
            if (sameFileName(process.name, options.processName)) found.push_back(process);
        }
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
    GameSource source;
    std::string name;
    std::string why;
    if (!processes.open(pid, &source, &name, &why)) {
        return cannotTell(err, "process " + std::to_string(pid), why);
    }
    const RunningGame game = checkOpenProcess(processes, pid, name, source);
    processes.close();
    if (!game.problem.empty()) return cannotTell(err, "process " + std::to_string(pid), game.problem);
    *out += options.json ? processJson({pid, name}, game.check) : processReport({pid, name}, game.check);
    return runningStatus(game);
}

// No file named (a double-click): every running game this user may read.
int checkRunningGames(const Options& options, const Processes& processes, std::string* out, std::string* err) {
    const RunningGames found = findRunningGames(processes);
    if (!found.problem.empty()) return cannotTell(err, "running games", found.problem);
    *out += options.json ? runningGamesJson(found) : runningGamesReport(found);
    return found.games.empty() ? kCannotTell : runningStatus(found.games);
}

}  // namespace

int runChecker(const std::vector<std::string>& args, const VirtualStore& store, const Processes& processes,
               std::string* out, std::string* err) {
    Options options;
    std::string why;
    if (!parse(args, &options, &why)) {
        *err += "menupatch-check: " + why + " (--help tells how)\n";
        return kCannotTell;
    }
    if (options.help) {
        *out += kUsage;
        return kApplies;
    }
    if (options.version) {
        *out += "menupatch-check " MENUPATCH_VERSION "\n";
        return kApplies;
    }
    if (!options.game.empty()) return checkFile(options, store, processes, out, err);
    if (options.pid != 0 || !options.processName.empty()) return checkProcess(options, processes, out, err);
    return checkRunningGames(options, processes, out, err);
}
