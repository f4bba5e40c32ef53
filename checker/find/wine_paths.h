#pragma once

// A Windows path as Wine finds it on Linux, for shortcuts made in a Wine or
// Proton prefix: backslashes separate; a drive letter is a link in the
// prefix's dosdevices folder; each name matches whatever its case on disk.

#include <string>

struct WineLookup {
    std::string shortcutFolder;  // the folder of the shortcut that holds the path
    std::string winePrefix;      // WINEPREFIX, when set
    std::string home;            // HOME, for ~/.wine
};

// The Linux path of `windowsPath` (relative to the shortcut's folder when
// `relative`), or false with the reason: no prefix, a drive it does not map.
bool unixPathOf(const std::string& windowsPath, bool relative, const WineLookup& lookup,
                std::string* path, std::string* why);
