#include "checker/read/shortcut.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/text.h"

namespace {

// The Shell Link format, as its documentation lays it out.
constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kHasTargetIdList = 0x1;
constexpr std::uint32_t kHasLinkInfo = 0x2;
constexpr std::uint32_t kHasName = 0x4;
constexpr std::uint32_t kHasRelativePath = 0x8;
constexpr std::uint32_t kIsUnicode = 0x80;
constexpr std::uint32_t kHasDarwinId = 0x1000;
constexpr std::uint32_t kVolumeAndLocalPath = 0x1;
constexpr std::uint32_t kNetworkPath = 0x2;
constexpr std::uint32_t kLinkInfoHeaderWithUnicode = 0x24;
constexpr std::uint32_t kNetworkLinkWithUnicode = 0x14;

// Bounds-checked little-endian reads: false past the end.
struct Reader {
    const std::vector<unsigned char>& bytes;
    std::uint64_t begin;  // of the part read, within the file
    std::uint64_t end;

    bool u16(std::uint64_t at, std::uint32_t* value) const {
        if (begin + at + 2 > end) return false;
        *value = bytes[begin + at] | bytes[begin + at + 1] << 8;
        return true;
    }
    bool u32(std::uint64_t at, std::uint32_t* value) const {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        if (!u16(at, &low) || !u16(at + 2, &high)) return false;
        *value = low | high << 16;
        return true;
    }
    // A NUL-terminated string of bytes, ended inside the part.
    bool narrow(std::uint64_t at, std::string* text) const {
        for (std::uint64_t i = begin + at; i < end; ++i) {
            if (bytes[i] == 0) return true;
            *text += static_cast<char>(bytes[i]);
        }
        return false;
    }
    // A NUL-terminated UTF-16 string, as UTF-8.
    bool wide(std::uint64_t at, std::string* text) const {
        std::u16string units;
        for (std::uint64_t i = at;; i += 2) {
            std::uint32_t unit = 0;
            if (!u16(i, &unit)) return false;
            if (unit == 0) break;
            units += static_cast<char16_t>(unit);
        }
        *text = utf8FromUtf16(units);
        return true;
    }
};

ShellLinkTarget noFile(const std::string& why) {
    ShellLinkTarget target;
    target.why = why;
    return target;
}

// The target from the LinkInfo structure: a local path, or a network one.
bool linkInfoPath(const Reader& info, AnsiDecoder fromAnsi, ShellLinkTarget* target) {
    std::uint32_t headerSize = 0, flags = 0, localOffset = 0, networkOffset = 0, suffixOffset = 0;
    if (!info.u32(4, &headerSize) || !info.u32(8, &flags) || !info.u32(16, &localOffset) ||
        !info.u32(20, &networkOffset) || !info.u32(24, &suffixOffset)) {
        return false;
    }
    const bool unicode = headerSize >= kLinkInfoHeaderWithUnicode;
    std::uint32_t localOffsetWide = 0, suffixOffsetWide = 0;
    if (unicode && (!info.u32(28, &localOffsetWide) || !info.u32(32, &suffixOffsetWide))) return false;

    std::string suffix;
    if (unicode && suffixOffsetWide != 0) {
        if (!info.wide(suffixOffsetWide, &suffix)) return false;
    } else if (info.narrow(suffixOffset, &suffix)) {
        suffix = fromAnsi(suffix);
    } else {
        return false;
    }
    std::string base;
    if (flags & kVolumeAndLocalPath) {
        if (unicode && localOffsetWide != 0) {
            if (!info.wide(localOffsetWide, &base)) return false;
        } else {
            if (!info.narrow(localOffset, &base)) return false;
            base = fromAnsi(base);
        }
    } else if (flags & kNetworkPath) {
        const Reader network{info.bytes, info.begin + networkOffset, info.end};
        std::uint32_t nameOffset = 0, nameOffsetWide = 0;
        if (networkOffset >= info.end - info.begin || !network.u32(8, &nameOffset)) return false;
        if (nameOffset > kNetworkLinkWithUnicode && network.u32(0x14, &nameOffsetWide) && nameOffsetWide != 0) {
            if (!network.wide(nameOffsetWide, &base)) return false;
        } else {
            if (!network.narrow(nameOffset, &base)) return false;
            base = fromAnsi(base);
        }
        if (!suffix.empty()) base += '\\';
    } else {
        return false;
    }
    target->path = base + suffix;
    return !target->path.empty();
}

}  // namespace

ShortcutKind shortcutKind(const std::vector<unsigned char>& file) {
    if (file.size() >= kHeaderSize && file[0] == kHeaderSize && file[1] == 0 && file[2] == 0 && file[3] == 0 &&
        std::memcmp(&file[4], kLinkClsid, sizeof kLinkClsid) == 0) {
        return ShortcutKind::ShellLink;
    }
    static const std::string kSection = "[InternetShortcut]";
    std::size_t at = 0;
    if (file.size() >= 3 && file[0] == 0xEF && file[1] == 0xBB && file[2] == 0xBF) at = 3;
    while (at < file.size() && (file[at] == ' ' || file[at] == '\r' || file[at] == '\n' || file[at] == '\t')) ++at;
    if (file.size() - at >= kSection.size() && std::memcmp(&file[at], kSection.data(), kSection.size()) == 0) {
        return ShortcutKind::InternetShortcut;
    }
    return ShortcutKind::None;
}

ShellLinkTarget readShellLink(const std::vector<unsigned char>& file, AnsiDecoder fromAnsi) {
    const Reader whole{file, 0, file.size()};
    std::uint32_t flags = 0;
    if (shortcutKind(file) != ShortcutKind::ShellLink || !whole.u32(0x14, &flags)) {
        return noFile("not a Windows shortcut");
    }
    if (flags & kHasDarwinId) {
        return noFile("an installer's shortcut, which names no file: open the game's folder and use its executable");
    }
    std::uint64_t at = kHeaderSize;
    if (flags & kHasTargetIdList) {
        std::uint32_t size = 0;
        if (!whole.u16(at, &size)) return noFile("the shortcut is cut off");
        at += 2 + std::uint64_t{size};
    }
    if (flags & kHasLinkInfo) {
        std::uint32_t size = 0;
        if (!whole.u32(at, &size) || size < 0x1C || at + size > file.size()) return noFile("the shortcut is damaged");
        ShellLinkTarget target;
        if (linkInfoPath(Reader{file, at, at + size}, fromAnsi, &target)) return target;
        at += size;
    }
    // Without a path in the LinkInfo, a relative path may follow the name.
    if (flags & kHasRelativePath) {
        const std::uint32_t unitSize = (flags & kIsUnicode) ? 2 : 1;
        std::uint32_t count = 0;
        if ((flags & kHasName) && whole.u16(at, &count)) at += 2 + std::uint64_t{count} * unitSize;
        if (!whole.u16(at, &count) || at + 2 + std::uint64_t{count} * unitSize > file.size()) {
            return noFile("the shortcut is cut off");
        }
        ShellLinkTarget target;
        target.relative = true;
        std::u16string units;
        std::string bytes;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t unit = 0;
            if (unitSize == 2) {
                whole.u16(at + 2 + 2 * std::uint64_t{i}, &unit);
                units += static_cast<char16_t>(unit);
            } else {
                bytes += static_cast<char>(file[at + 2 + i]);
            }
        }
        // Counted, but Windows reads it as a string: it ends at a NUL.
        units = units.substr(0, units.find(u'\0'));
        bytes = bytes.substr(0, bytes.find('\0'));
        target.path = unitSize == 2 ? utf8FromUtf16(units) : fromAnsi(bytes);
        if (!target.path.empty()) return target;
    }
    return noFile("this shortcut names no file (it points at something else than a program on a disk)");
}

std::string internetShortcutUrl(const std::vector<unsigned char>& file) {
    const std::string text(file.begin(), file.end());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 4, "URL=") == 0) return line.substr(4);
        at = end + 1;
    }
    return {};
}
