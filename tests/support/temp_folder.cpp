#include "tests/support/temp_folder.h"

#include <stdlib.h>

#include <filesystem>

TempFolder::TempFolder() {
    char pattern[] = "/tmp/menupatch-test-XXXXXX";
    path = mkdtemp(pattern);
}

TempFolder::~TempFolder() { std::filesystem::remove_all(path); }

std::string TempFolder::make(const std::string& name) const {
    const std::string folder = path + "/" + name;
    std::filesystem::create_directories(folder);
    return folder;
}
