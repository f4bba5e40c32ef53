#include "checker/find/virtual_store.h"

#include <filesystem>
#include <system_error>

#include "checker/find/paths.h"
#include "plugin/settings_flag.h"

namespace {

namespace fs = std::filesystem;

// Windows compares paths without case; either slash separates.
std::string comparable(const std::string& path) {
    std::string text;
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        text += c;
    }
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool inside(const std::string& folder, const std::string& root) {
    const std::string f = comparable(folder);
    const std::string r = comparable(root);
    return !r.empty() && f.compare(0, r.size(), r) == 0 && (f.size() == r.size() || f[r.size()] == '/');
}

}  // namespace

SettingsChoice settingsFolderAsIs(const std::string& folder) {
    SettingsChoice choice;
    choice.folder = folder;
    return choice;
}

SettingsChoice chooseSettingsFolder(const std::string& folder, bool virtualised, const VirtualStore& store) {
    SettingsChoice choice = settingsFolderAsIs(folder);
    if (store.root.empty()) return choice;
    bool underVirtualised = false;
    for (const std::string& root : store.virtualisedFolders) underVirtualised = underVirtualised || inside(folder, root);
    if (!underVirtualised) return choice;
    // The copy keeps the whole path but its drive: C:\Program Files\Game -> VirtualStore\Program Files\Game.
    const fs::path copyFolder = pathOf(store.root) / pathOf(folder).relative_path();
    const fs::path copy = copyFolder / kSettingsFileName;
    std::error_code error;
    if (!fs::is_regular_file(copy, error)) return choice;
    choice.copy = textOf(copy);
    if (virtualised) {
        choice.folder = textOf(copyFolder);
        choice.source = SettingsSource::VirtualStore;
    } else {
        choice.source = SettingsSource::NotVirtualised;
    }
    return choice;
}
