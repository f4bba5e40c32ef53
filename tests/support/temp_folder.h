#pragma once

#include <string>

// A temporary folder, removed again when the object goes.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path;
    std::string make(const std::string& name) const;  // a subfolder; returns its path
};
