#pragma once

// Windows shortcuts (.lnk) as the shell writes them, for the checker's tests:
// a header, an optional item list, and a LinkInfo with the target's path in
// the ANSI form, the UTF-16 form or both; or a relative path only.

#include <string>
#include <vector>

struct ShellLinkParts {
    std::string ansiPath;      // LinkInfo's LocalBasePath; empty: none
    std::string unicodePath;   // LinkInfo's LocalBasePathUnicode, given as UTF-8; empty: none
    std::string networkShare;  // a network target's share (\\server\share) instead of a local path
    std::string suffix;        // CommonPathSuffix, after the share
    std::string relativePath;  // the RELATIVE_PATH string (UTF-16), without a LinkInfo
    bool itemList = true;      // an item list before the LinkInfo, as the shell always writes
    bool installer = false;    // an installer's (advertised) shortcut
};

std::vector<unsigned char> shellLinkFile(const ShellLinkParts& parts);

// UTF-8 as UTF-16 code units, little-endian bytes, no terminator.
std::vector<unsigned char> utf16Bytes(const std::string& text);
