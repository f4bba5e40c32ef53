#include "checker/find/paths.h"

#include <system_error>

#include "text/text.h"

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

std::vector<std::string> spellingsIn(const std::filesystem::path& folder, const std::string& name) {
    std::error_code error;
    if (std::filesystem::exists(folder / pathOf(name), error)) return {name};
    std::vector<std::string> spellings;
    // Stepped with the error kept: the range-for's step ends the program on an error.
    for (std::filesystem::directory_iterator entry(folder, error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string file = textOf(entry->path().filename());
        if (sameFileName(file, name)) spellings.push_back(file);
    }
    return spellings;
}
