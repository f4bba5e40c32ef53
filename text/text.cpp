#include "text/text.h"

#include <cstdarg>
#include <cstdio>

std::string textf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::string hexNumber(std::uint64_t value, int digits) {
    return textf("0x%0*llX", digits, static_cast<unsigned long long>(value));
}

std::string hexBytes(const std::vector<unsigned char>& bytes) {
    std::string text;
    char pair[3];
    for (unsigned char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string* text, char32_t point) {
    if (point < 0x80) {
        *text += static_cast<char>(point);
    } else if (point < 0x800) {
        *text += static_cast<char>(0xC0 | point >> 6);
        *text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *text += static_cast<char>(0xE0 | point >> 12);
        *text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        *text += static_cast<char>(0xF0 | point >> 18);
        *text += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        *text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *text += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// The code point of the well-formed sequence of `length` bytes at `at`.
char32_t pointAt(const std::string& text, std::size_t at, std::size_t length) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (length == 1) return lead;
    char32_t point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        point = point << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    return point;
}

}  // namespace

std::size_t utf8SequenceLength(const std::string& text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    }
    const char32_t point = pointAt(text, at, length);
    // Overlong forms, UTF-16 surrogates and points past U+10FFFF are not text.
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return 0;
    return length;
}

std::string wellFormedUtf8(const std::string& text) {
    std::string result;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) {
            appendUtf8(&result, kReplacement);
            ++at;
        } else {
            result.append(text, at, length);
            at += length;
        }
    }
    return result;
}

std::string utf8FromUtf16(const std::u16string& units) {
    std::string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t point = units[i];
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (point >= 0xD800 && point <= 0xDFFF) {
            point = kReplacement;
        }
        appendUtf8(&text, point);
    }
    return text;
}

std::u16string utf16FromUtf8(const std::string& text) {
    std::u16string units;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        const char32_t point = length == 0 ? kReplacement : pointAt(text, at, length);
        at += length == 0 ? 1 : length;
        if (point >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(point);
        }
    }
    return units;
}

namespace {

// The next code point of a name, upper-cased as names compare: a code point
// outside the BMP is two units that each are their own upper case; a byte that
// is not UTF-8 is a value past Unicode's, so that it matches only itself.
char32_t nextUpperCased(const std::string& name, std::size_t* at) {
    const std::size_t length = utf8SequenceLength(name, *at);
    if (length == 0) return 0x110000 + static_cast<unsigned char>(name[(*at)++]);
    const char32_t point = pointAt(name, *at, length);
    *at += length;
    return point < 0x10000 ? windowsUpperCase(static_cast<char16_t>(point)) : point;
}

}  // namespace

bool sameFileName(const std::string& a, const std::string& b) {
    std::size_t atA = 0;
    std::size_t atB = 0;
    while (atA < a.size() && atB < b.size()) {
        if (nextUpperCased(a, &atA) != nextUpperCased(b, &atB)) return false;
    }
    return atA == a.size() && atB == b.size();
}

std::string shownName(const std::string& name) {
    std::string shown;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = utf8SequenceLength(name, at);
        const char32_t point = length == 0 ? 0 : pointAt(name, at, length);
        const bool control = length != 0 && (point < 0x20 || (point >= 0x7F && point < 0xA0));
        if (length == 0 || control) {
            const unsigned char byte = static_cast<unsigned char>(name[at]);
            shown += point == '\n' ? "\\n" : point == '\r' ? "\\r" : point == '\t' ? "\\t"
                     : length == 0 || point < 0x80 ? textf("\\x%02X", byte)
                                                   : textf("\\u%04X", static_cast<unsigned>(point));
            at += length == 0 ? 1 : length;
            continue;
        }
        shown.append(name, at, length);
        at += length;
    }
    return shown;
}
