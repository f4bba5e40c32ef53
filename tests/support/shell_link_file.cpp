#include "tests/support/shell_link_file.h"

#include <cstdint>

namespace {

void put16(std::vector<unsigned char>& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}
void put32(std::vector<unsigned char>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
void set32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}
void putText(std::vector<unsigned char>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

std::vector<unsigned char> linkInfo(const ShellLinkParts& parts) {
    const bool unicode = !parts.unicodePath.empty() || !parts.unicodeSuffix.empty();
    const std::uint32_t headerSize = unicode ? 0x24 : 0x1C;
    std::vector<unsigned char> info(headerSize, 0);
    set32(info, 4, headerSize);
    if (!parts.networkShare.empty()) {
        set32(info, 8, 0x2);
        set32(info, 20, static_cast<std::uint32_t>(info.size()));
        std::vector<unsigned char> network;
        put32(network, 0);  // size, set below
        put32(network, 0x2);
        put32(network, 0x14);
        put32(network, 0);
        put32(network, 0x00020000);
        putText(network, parts.networkShare);
        set32(network, 0, static_cast<std::uint32_t>(network.size()));
        info.insert(info.end(), network.begin(), network.end());
    } else {
        set32(info, 8, 0x1);
        set32(info, 12, static_cast<std::uint32_t>(info.size()));
        put32(info, 0x11);  // VolumeID: size, fixed drive, serial, label offset, empty label
        put32(info, 3);
        put32(info, 0x1234ABCD);
        put32(info, 0x10);
        info.push_back(0);
        set32(info, 16, static_cast<std::uint32_t>(info.size()));
        putText(info, parts.ansiPath);
    }
    set32(info, 24, static_cast<std::uint32_t>(info.size()));
    putText(info, parts.suffix);
    // Each Unicode part only where it is given: an offset of 0 leaves the ANSI one.
    if (!parts.unicodePath.empty()) {
        set32(info, 28, static_cast<std::uint32_t>(info.size()));
        const std::vector<unsigned char> path = utf16Bytes(parts.unicodePath);
        info.insert(info.end(), path.begin(), path.end());
        put16(info, 0);
    }
    if (!parts.unicodeSuffix.empty()) {
        set32(info, 32, static_cast<std::uint32_t>(info.size()));
        const std::vector<unsigned char> suffix = utf16Bytes(parts.unicodeSuffix);
        info.insert(info.end(), suffix.begin(), suffix.end());
        put16(info, 0);
    }
    set32(info, 0, parts.linkInfoSize != 0 ? parts.linkInfoSize : static_cast<std::uint32_t>(info.size()));
    return info;
}

}  // namespace

std::vector<unsigned char> utf16Bytes(const std::string& text) {
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) point = point << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        if (point >= 0x10000) {
            put16(out, 0xD800 + ((point - 0x10000) >> 10));
            put16(out, 0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            put16(out, point);
        }
    }
    return out;
}

std::vector<unsigned char> shellLinkFile(const ShellLinkParts& parts) {
    const bool hasLinkInfo = !parts.ansiPath.empty() || !parts.unicodePath.empty() || !parts.networkShare.empty();
    std::uint32_t flags = parts.ansiStrings ? 0 : 0x80;  // IsUnicode: string data is UTF-16
    if (parts.itemList) flags |= 0x1;
    if (hasLinkInfo) flags |= 0x2;
    if (!parts.name.empty()) flags |= 0x4;
    if (!parts.relativePath.empty()) flags |= 0x8;
    if (parts.installer) flags |= 0x1000;

    std::vector<unsigned char> file;
    put32(file, 0x4C);
    const unsigned char clsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    file.insert(file.end(), clsid, clsid + 16);
    put32(file, flags);
    file.resize(0x4C, 0);  // attributes, times, size, icon, show command, hot key: all 0
    if (parts.itemList) {
        // One opaque item and the terminating 0: the checker does not walk it.
        put16(file, 4 + 2);
        put16(file, 4);
        put16(file, 0xBEEF);
        put16(file, 0);
    }
    if (hasLinkInfo) {
        const std::vector<unsigned char> info = linkInfo(parts);
        file.insert(file.end(), info.begin(), info.end());
    }
    // String data: a count of characters, then the characters, no terminator.
    for (const std::string* text : {&parts.name, &parts.relativePath}) {
        if (text->empty()) continue;
        const std::vector<unsigned char> units =
            parts.ansiStrings ? std::vector<unsigned char>(text->begin(), text->end()) : utf16Bytes(*text);
        put16(file, static_cast<std::uint32_t>(parts.ansiStrings ? units.size() : units.size() / 2));
        file.insert(file.end(), units.begin(), units.end());
    }
    put32(file, 0);  // no extra data blocks
    return file;
}
