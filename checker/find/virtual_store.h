#pragma once

// Windows gives a 32-bit game without a UAC manifest its own copy of every file
// it writes under Program Files, ProgramData or the Windows folder, in the
// player's VirtualStore, and reads that copy from then on. The plug-in runs in
// the game, so it reads the copy too; the checker, which has a manifest, is not
// redirected and must make the same choice itself.

#include <string>
#include <vector>

struct VirtualStore {
    std::vector<std::string> virtualisedFolders;  // absolute; compared without case
    std::string root;                             // %LOCALAPPDATA%\VirtualStore; empty: none
};

// The folders of the system the checker runs on (none outside Windows).
VirtualStore systemVirtualStore();

enum class SettingsSource {
    Folder,          // the settings folder itself
    VirtualStore,    // the VirtualStore's copy, which the game reads instead
    NotVirtualised,  // a copy is there, but the game's manifest keeps it from being used
};

struct SettingsChoice {
    std::string folder;  // the folder the game reads korvan.set from
    SettingsSource source = SettingsSource::Folder;
    std::string copy;    // the VirtualStore's korvan.set, when there is one
    std::string fileName = "korvan.set";  // as the folder spells it: Wine opens it in any case
};

// The settings folder as it is, with nothing of Windows' or Wine's in between.
SettingsChoice settingsFolderAsIs(const std::string& folder);

// `folder` is absolute; `virtualised` is false for a game whose manifest
// names an execution level.
SettingsChoice chooseSettingsFolder(const std::string& folder, bool virtualised, const VirtualStore& store);
