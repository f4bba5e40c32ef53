#pragma once

// Players drag a game's shortcut more often than its executable: a Shell Link
// (.lnk) is followed to the file it names; an internet shortcut (.url, as a
// store or launcher makes) names no file at all. Shell Links are read by hand,
// each offset and length checked against the file, as the executable is.

#include <string>
#include <vector>

enum class ShortcutKind { None, ShellLink, InternetShortcut };

// By the file's contents, not its name.
ShortcutKind shortcutKind(const std::vector<unsigned char>& file);

struct ShellLinkTarget {
    std::string path;        // empty when the link names no file; UTF-8 unless `ansi`
    bool ansi = false;       // only the ANSI form was stored: the system code page's bytes
    bool relative = false;   // relative to the shortcut's own folder
    std::string why;         // when `path` is empty: why, in a player's words
};

ShellLinkTarget readShellLink(const std::vector<unsigned char>& file);

// The URL= line of an internet shortcut; empty when there is none.
std::string internetShortcutUrl(const std::vector<unsigned char>& file);
