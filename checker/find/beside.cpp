#include "checker/find/beside.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

#include "checker/find/paths.h"
#include "text/text.h"

bool namedAsExecutable(const std::string& name) {
    constexpr char kExtension[] = ".exe";
    const std::size_t length = sizeof kExtension - 1;
    return name.size() > length && sameFileName(name.substr(name.size() - length), kExtension);
}

Beside executablesBeside(const std::string& executable, std::size_t most) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path self = pathOf(executable);
    const fs::path folder = self.has_parent_path() ? self.parent_path() : fs::path(".");
    std::vector<std::pair<std::uintmax_t, std::string>> found;
    // Stepped with the error kept: the range-for's step ends the program on an error.
    for (fs::directory_iterator entry(folder, error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        std::error_code fileError;
        if (!namedAsExecutable(textOf(entry->path().filename())) || !entry->is_regular_file(fileError)) continue;
        if (fs::equivalent(entry->path(), self, fileError)) continue;
        const std::uintmax_t size = entry->file_size(fileError);
        // Named as the executable was: beside a bare name, a bare name.
        const fs::path path = self.has_parent_path() ? entry->path() : entry->path().filename();
        if (!fileError) found.emplace_back(size, textOf(path));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    Beside beside;
    for (const auto& [size, path] : found) {
        if (beside.paths.size() < most) {
            beside.paths.push_back(path);
        } else {
            ++beside.more;
        }
    }
    return beside;
}
