#pragma once

// Names in the checker are UTF-8 text; the file system wants its own: bytes on
// Linux, UTF-16 on Windows. The conversions here cannot fail, where the C++
// library's (u8path, u8string) end the program on a name that is not text (it
// is built without exceptions): half a surrogate pair in a Windows folder
// entry, a stray byte from an old shortcut.

#include <filesystem>
#include <string>
#include <vector>

// A path from UTF-8 text. On Windows an ill-formed byte becomes U+FFFD; on
// Linux the bytes are the name, whatever they are.
std::filesystem::path pathOf(const std::string& text);

// A path as UTF-8 text. On Windows half a surrogate pair becomes U+FFFD; on
// Linux the name's bytes as they are (the JSON writer mends what is not text).
std::string textOf(const std::filesystem::path& path);

// How a folder spells `name`, as Wine finds a file whatever the case of its
// name: the name itself when it is there; else every entry that is the name
// but for case, in the order the folder lists them (the first is the one Wine
// opens); none when there is none, or the folder cannot be read.
std::vector<std::string> spellingsIn(const std::filesystem::path& folder, const std::string& name);
