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
    std::string path;        // Windows' form, UTF-8; empty when the link names no file
    bool relative = false;   // relative to the shortcut's own folder
    std::string why;         // when `path` is empty: why, in a player's words
};

// A path is stored in parts (a base and a suffix), each in UTF-16 or in the
// ANSI code page of the system that wrote it, not always the same for both:
// each part is decoded by its own, the ANSI ones with `fromAnsi`.
using AnsiDecoder = std::string (*)(const std::string& bytes);

ShellLinkTarget readShellLink(const std::vector<unsigned char>& file, AnsiDecoder fromAnsi);

// The URL= line of an internet shortcut; empty when there is none.
std::string internetShortcutUrl(const std::vector<unsigned char>& file);
