#include "checker/paths.h"

#include "checker/text.h"

#ifdef _WIN32

std::filesystem::path pathOf(const std::string& text) {
    const std::u16string units = utf16FromUtf8(text);
    return std::filesystem::path(std::wstring(units.begin(), units.end()));
}

std::string textOf(const std::filesystem::path& path) {
    const std::wstring& name = path.native();
    return utf8FromUtf16(std::u16string(name.begin(), name.end()));
}

#else

std::filesystem::path pathOf(const std::string& text) { return std::filesystem::path(text); }

std::string textOf(const std::filesystem::path& path) { return path.native(); }

#endif
