#include "checker/find/wine_paths.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <vector>

#include "checker/find/paths.h"

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

bool startsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string upperLetter(char c) { return std::string(1, static_cast<char>(c & ~0x20)); }

// The names of a path, split where Windows splits it: at backslashes, and at
// slashes unless the path is taken verbatim.
std::vector<std::string> namesOf(const std::string& path, bool verbatim) {
    std::vector<std::string> names;
    std::string name;
    for (char c : path + '\\') {
        if (c == '\\' || (c == '/' && !verbatim)) {
            if (!name.empty()) names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    return names;
}

// The names as Windows makes a full path of them (and Wine the same): "." is
// dropped and ".." takes one name back, never past the drive's root; a folder's
// name loses one trailing dot, the file's name every trailing dot and space.
std::vector<std::string> collapsed(const std::vector<std::string>& names) {
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string name = names[i];
        if (name == ".") continue;
        if (name == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        if (i + 1 < names.size()) {
            if (name.back() == '.') name.pop_back();
        } else {
            while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
        }
        if (!name.empty()) kept.push_back(name);
    }
    return kept;
}

// The Unix folder of a drive of the prefix, or false with the reason.
bool driveFolder(char letter, const fs::path& prefix, fs::path* folder, std::string* why) {
    if (prefix.empty()) {
        *why = "it names drive " + upperLetter(letter) +
               ": and no Wine prefix holds the shortcut (nor WINEPREFIX, nor ~/.wine) to say what that drive is";
        return false;
    }
    const std::string link = std::string(1, static_cast<char>(letter | 0x20)) + ":";
    const fs::path entry = prefix / "dosdevices" / link;
    std::error_code error;
    if (!isFolder(entry)) {
        if (fs::is_symlink(fs::symlink_status(entry, error))) {
            const fs::path target = fs::read_symlink(entry, error);
            *why = "it names drive " + upperLetter(letter) + ":, which the Wine prefix " + textOf(prefix) +
                   " maps to " + textOf(target) + ", and that folder is not there (a disc or drive not mounted?)";
        } else {
            *why = "it names drive " + upperLetter(letter) + ":, which the Wine prefix " + textOf(prefix) +
                   " does not map (no dosdevices/" + link + ")";
        }
        return false;
    }
    // The drive's link taken, so that paths read as the player's own (dosdevices/z: is /).
    const fs::path target = fs::canonical(entry, error);
    *folder = error ? entry : target;
    return true;
}

// The root of the drive that holds `folder` in the prefix (the drive whose
// folder is the nearest above it), and the names from there; the file
// system's root when no drive holds it.
fs::path driveHolding(const fs::path& folder, const fs::path& prefix, std::vector<std::string>* names) {
    std::error_code error;
    fs::path best = folder.root_path();
    std::size_t bestDepth = 0;
    for (char letter = 'a'; letter <= 'z' && !prefix.empty(); ++letter) {
        fs::path root;
        std::string why;
        if (!driveFolder(letter, prefix, &root, &why)) continue;
        const auto mismatch = std::mismatch(root.begin(), root.end(), folder.begin(), folder.end());
        const std::size_t depth = static_cast<std::size_t>(std::distance(root.begin(), root.end()));
        if (mismatch.first == root.end() && depth > bestDepth) {
            best = root;
            bestDepth = depth;
        }
    }
    names->clear();
    auto at = folder.begin();
    for (std::size_t i = 0; i < bestDepth && at != folder.end(); ++i) ++at;
    if (bestDepth == 0 && at != folder.end()) ++at;  // past the root itself
    for (; at != folder.end(); ++at) {
        if (!at->empty()) names->push_back(textOf(*at));
    }
    return best;
}

}  // namespace

bool unixPathOf(const std::string& windowsPath, bool relative, const WineLookup& lookup,
                std::string* path, std::string* why) {
    std::string rest = windowsPath;
    // \\?\ takes the rest as it is; \\.\ names a device, a drive among them.
    const bool verbatim = startsWith(rest, "\\\\?\\") || startsWith(rest, "\\??\\");
    if (verbatim || startsWith(rest, "\\\\.\\")) {
        rest = rest.substr(4);
    } else if (startsWith(rest, "\\\\") || startsWith(rest, "//")) {
        *why = "it names a network path (" + windowsPath + "), which only Windows can reach";
        return false;
    }
    const bool drive = rest.size() >= 2 && rest[1] == ':' && isDriveLetter(rest[0]);
    const fs::path prefix = prefixOf(lookup);
    fs::path root;
    std::vector<std::string> names;
    if (relative && !drive) {
        // From the shortcut's folder on its drive, which ".." does not leave.
        std::error_code error;
        const fs::path from = lookup.shortcutFolder.empty() ? fs::current_path(error) : pathOf(lookup.shortcutFolder);
        const fs::path canonical = fs::weakly_canonical(fs::absolute(from, error), error);
        root = driveHolding(canonical.empty() ? from : canonical, prefix, &names);
    } else if (drive) {
        if (!driveFolder(rest[0], prefix, &root, why)) return false;
        rest = rest.substr(2);
    } else {
        *why = "its path (" + windowsPath + ") names no drive, and is not relative to the shortcut";
        return false;
    }
    const std::vector<std::string> written = namesOf(rest, verbatim);
    if (!rest.empty() && (rest.back() == '\\' || (rest.back() == '/' && !verbatim))) {
        *why = "its path (" + windowsPath + ") ends in a separator, which names a folder, not a program";
        return false;
    }
    if (verbatim && std::find_if(written.begin(), written.end(),
                                 [](const std::string& name) { return name == "." || name == ".."; }) != written.end()) {
        *why = "its path (" + windowsPath + ") is to be taken as written (\\\\?\\), and then \".\" and \"..\" are "
               "no names Windows accepts";
        return false;
    }
    // Taken as written, a slash is part of a name, and no name holds one
    // (Wine: ERROR_INVALID_NAME); on Linux it would split the name instead.
    if (verbatim && std::find_if(written.begin(), written.end(), [](const std::string& name) {
                        return name.find('/') != std::string::npos;
                    }) != written.end()) {
        *why = "its path (" + windowsPath + ") is to be taken as written (\\\\?\\), and then a name holding \"/\" is "
               "no name Windows accepts";
        return false;
    }
    names.insert(names.end(), written.begin(), written.end());
    if (!verbatim) names = collapsed(names);
    fs::path folder = root;
    for (const std::string& name : names) folder = folder / pathOf(nameOnDisk(folder, name));
    *path = textOf(folder);
    return true;
}
