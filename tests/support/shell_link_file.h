#pragma once

// Windows shortcuts (.lnk) as the shell writes them, for the checker's tests:
// a header, an optional item list, and a LinkInfo with the target's path in
// the ANSI form, the UTF-16 form or both, part by part; or string data with a
// name and a relative path.

#include <cstdint>
#include <string>
#include <vector>

struct ShellLinkParts {
    std::string ansiPath;       // LinkInfo's LocalBasePath, as bytes; empty: none
    std::string unicodePath;    // LinkInfo's LocalBasePathUnicode, given as UTF-8; empty: none
    std::string networkShare;   // a network target's share (\\server\share, ANSI) instead of a local path
    std::string suffix;         // CommonPathSuffix, as bytes
    std::string unicodeSuffix;  // CommonPathSuffixUnicode, given as UTF-8; empty: none
    std::string name;           // the NAME_STRING (a description), before the relative path
    std::string relativePath;   // the RELATIVE_PATH string, given as UTF-8 (or bytes, with ansiStrings)
    bool ansiStrings = false;   // string data in the ANSI code page, not UTF-16
    bool itemList = true;       // an item list before the LinkInfo, as the shell always writes
    bool installer = false;     // an installer's (advertised) shortcut
    std::uint32_t linkInfoSize = 0;  // the LinkInfo's size field as damaged; 0: its true size
};

std::vector<unsigned char> shellLinkFile(const ShellLinkParts& parts);

// UTF-8 as UTF-16 code units, little-endian bytes, no terminator.
std::vector<unsigned char> utf16Bytes(const std::string& text);
