#include "checker/text.h"

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

bool sameFileName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
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
