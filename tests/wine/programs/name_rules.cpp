// Asks Wine itself how it treats file names, for the tests that hold the
// checker's own rules to Wine's (and for the table the checker compares names by).
//
//   name_rules.exe upper OUT      every UTF-16 unit upper-cased as Windows and Wine
//                                 compare names (RtlUpcaseUnicodeChar): 65536 units,
//                                 little-endian
//   name_rules.exe cases FOLDER OUT
//                                 for every unit that may stand in a file name, and
//                                 each other spelling Wine knows of it (its upper and
//                                 lower case as names compare, and as Unicode has them,
//                                 by linguistic casing), and for the pairs outside the
//                                 BMP listed below: a file made under one spelling,
//                                 opened under the other; a line "AAAA BBBB 1" (opened)
//                                 or "... 0" per pair, the spellings as UTF-16 units in hex
//   name_rules.exe open LIST OUT  for each line of LIST, a path in UTF-8: "1 TEXT" with
//                                 the file's first line when Wine opens it, else "0 ERROR"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

extern "C" {
WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR unit);
WCHAR NTAPI RtlDowncaseUnicodeChar(WCHAR unit);
}

namespace {

// Letters outside the BMP with a case partner: Windows compares names unit by
// unit, so a surrogate pair matches only itself.
const std::u16string kOutsideBmp[][2] = {
    {u"\U00010400", u"\U00010428"},  // Deseret
    {u"\U0001E900", u"\U0001E922"},  // Adlam
    {u"\U00010C80", u"\U00010CC0"},  // Old Hungarian
};

std::wstring wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], size);
    return out;
}

std::wstring fromUnits(const std::u16string& units) { return std::wstring(units.begin(), units.end()); }

// What no file name may hold on Windows, and what the test's names do not need.
bool allowedInName(char16_t unit) {
    if (unit < 0x20 || (unit >= 0xD800 && unit <= 0xDFFF) || unit == 0xFFFF) return false;
    for (const char16_t reserved : u"\\/:*?\"<>|") {
        if (unit == reserved) return false;
    }
    // A trailing dot or space is taken off the name; keep them off its end.
    return unit != u'.' && unit != u' ';
}

void writeUnits(std::FILE* out, const std::u16string& units) {
    for (const char16_t unit : units) std::fprintf(out, "%04X", static_cast<unsigned>(unit));
}

// Made under `made`, opened under `asked`: whether Wine took them for one name.
bool opensAs(const std::wstring& folder, const std::u16string& made, const std::u16string& asked) {
    const std::wstring madePath = folder + L"\\n" + fromUnits(made) + L".t";
    HANDLE file = CreateFileW(madePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    const std::wstring askedPath = folder + L"\\n" + fromUnits(asked) + L".t";
    HANDLE opened = CreateFileW(askedPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    const bool same = opened != INVALID_HANDLE_VALUE;
    if (same) CloseHandle(opened);
    DeleteFileW(madePath.c_str());
    return same;
}

int upper(std::FILE* out) {
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const WCHAR upperUnit = RtlUpcaseUnicodeChar(static_cast<WCHAR>(unit));
        std::fputc(upperUnit & 0xFF, out);
        std::fputc(upperUnit >> 8, out);
    }
    return 0;
}

int cases(const std::wstring& folder, std::FILE* out) {
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const char16_t c = static_cast<char16_t>(unit);
        if (!allowedInName(c)) continue;
        std::vector<WCHAR> others = {RtlUpcaseUnicodeChar(c), RtlDowncaseUnicodeChar(c)};
        for (const DWORD casing : {LCMAP_LOWERCASE, LCMAP_UPPERCASE}) {
            WCHAR mapped[4] = {};
            const WCHAR unit16 = c;
            if (LCMapStringEx(LOCALE_NAME_INVARIANT, casing | LCMAP_LINGUISTIC_CASING, &unit16, 1, mapped, 4, nullptr,
                              nullptr, 0) == 1) {
                others.push_back(mapped[0]);
            }
        }
        for (std::size_t i = 0; i < others.size(); ++i) {
            const WCHAR other = others[i];
            bool seen = false;
            for (std::size_t j = 0; j < i; ++j) seen = seen || others[j] == other;
            if (!seen && other != c && allowedInName(other)) pairs.push_back({{c}, {static_cast<char16_t>(other)}});
        }
    }
    for (const auto& pair : kOutsideBmp) {
        pairs.push_back({pair[0], pair[1]});
        pairs.push_back({pair[1], pair[0]});
    }
    for (const auto& [made, asked] : pairs) {
        writeUnits(out, made);
        std::fputc(' ', out);
        writeUnits(out, asked);
        std::fprintf(out, " %d\n", opensAs(folder, made, asked) ? 1 : 0);
    }
    return 0;
}

int open(std::FILE* list, std::FILE* out) {
    char line[4096];
    while (std::fgets(line, sizeof line, list) != nullptr) {
        std::string path(line);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::fprintf(out, "0 %lu\n", GetLastError());
            continue;
        }
        char text[512] = {};
        DWORD read = 0;
        ReadFile(file, text, sizeof text - 1, &read, nullptr);
        CloseHandle(file);
        std::string first(text, read);
        first = first.substr(0, first.find('\n'));
        std::fprintf(out, "1 %s\n", first.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    std::FILE* out = argc > 2 ? std::fopen(argv[argc - 1], "wb") : nullptr;
    int status = 2;
    if (mode == "upper" && argc == 3 && out != nullptr) {
        status = upper(out);
    } else if (mode == "cases" && argc == 4 && out != nullptr) {
        status = cases(wide(argv[2]), out);
    } else if (mode == "open" && argc == 4 && out != nullptr) {
        std::FILE* list = std::fopen(argv[2], "rb");
        status = list != nullptr ? open(list, out) : 2;
        if (list != nullptr) std::fclose(list);
    } else {
        std::fprintf(stderr, "usage: name_rules upper OUT | cases FOLDER OUT | open LIST OUT\n");
    }
    if (out != nullptr && std::fclose(out) != 0) status = 1;
    return status;
}
