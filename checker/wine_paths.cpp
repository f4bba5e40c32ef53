#include "checker/wine_paths.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "checker/paths.h"

namespace {

namespace fs = std::filesystem;

bool isFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The prefix that holds the folder (a folder with dosdevices in it, the
// folder itself or one above), else WINEPREFIX, else ~/.wine; empty if none.
fs::path prefixOf(const WineLookup& lookup) {
    for (fs::path folder = pathOf(lookup.shortcutFolder); !folder.empty();
         folder = folder.parent_path()) {
        if (isFolder(folder / "dosdevices")) return folder;
        if (folder == folder.root_path()) break;
    }
    if (!lookup.winePrefix.empty() && isFolder(pathOf(lookup.winePrefix) / "dosdevices")) {
        return pathOf(lookup.winePrefix);
    }
    if (!lookup.home.empty() && isFolder(pathOf(lookup.home) / ".wine" / "dosdevices")) {
        return pathOf(lookup.home) / ".wine";
    }
    return {};
}

// The entry of `folder` named `name` but for case, as Wine takes it; else `name`.
std::string nameOnDisk(const fs::path& folder, const std::string& name) {
    const std::vector<std::string> spellings = spellingsIn(folder, name);
    return spellings.empty() ? name : spellings.front();
}

std::vector<std::string> namesOf(const std::string& path) {
    std::vector<std::string> names;
    std::string name;
    for (char c : path + '\\') {
        if (c == '\\' || c == '/') {
            if (!name.empty()) names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    return names;
}

}  // namespace

bool unixPathOf(const std::string& windowsPath, bool relative, const WineLookup& lookup,
                std::string* path, std::string* why) {
    fs::path folder;
    fs::path top;  // a drive's root, which ".." does not leave, as on Windows
    std::string rest = windowsPath;
    const bool drive = rest.size() >= 2 && rest[1] == ':' &&
                       ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'));
    if (relative) {
        folder = lookup.shortcutFolder.empty() ? fs::path(".") : pathOf(lookup.shortcutFolder);
    } else if (drive) {
        const fs::path prefix = prefixOf(lookup);
        const std::string letter(1, static_cast<char>(rest[0] | 0x20));
        if (prefix.empty()) {
            *why = "it names drive " + std::string(1, static_cast<char>(rest[0] & ~0x20)) +
                   ": and no Wine prefix holds the shortcut (nor WINEPREFIX, nor ~/.wine) to say "
                   "what that drive is";
            return false;
        }
        folder = prefix / "dosdevices" / (letter + ":");
        if (!isFolder(folder)) {
            *why = "it names drive " + std::string(1, static_cast<char>(rest[0] & ~0x20)) +
                   ":, which the Wine prefix " + textOf(prefix) + " does not map (no dosdevices/" +
                   letter + ":)";
            return false;
        }
        // The drive's link taken, so that paths read as the player's own (dosdevices/z: is /).
        std::error_code error;
        const fs::path target = fs::canonical(folder, error);
        if (!error) folder = target;
        top = folder;
        rest = rest.substr(2);
    } else {
        *why = "its path (" + windowsPath + ") names no drive, and is not relative to the shortcut";
        return false;
    }
    for (const std::string& name : namesOf(rest)) {
        if (name == "." || (name == ".." && folder == top)) continue;
        folder = name == ".." ? folder.parent_path() : folder / pathOf(nameOnDisk(folder, name));
    }
    *path = textOf(folder.lexically_normal());
    return true;
}
