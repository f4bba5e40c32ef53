#pragma once

// Environment variables set for a while, and put back as they were.

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

struct ScopedEnvironment {
    // An empty value unsets the variable.
    explicit ScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved.push_back({name, old != nullptr, old != nullptr ? old : ""});
            set(name, !value.empty(), value);
        }
    }
    ~ScopedEnvironment() {
        for (const Saved& s : saved) set(s.name, s.was, s.value);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    struct Saved {
        std::string name;
        bool was;
        std::string value;
    };
    static void set(const std::string& name, bool there, const std::string& value) {
        if (there) {
            setenv(name.c_str(), value.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    std::vector<Saved> saved;
};
