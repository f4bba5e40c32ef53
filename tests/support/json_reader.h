#pragma once

// Just enough of a JSON reader to hold the checker's output to the format:
// the whole text must parse, every string must be valid UTF-8 once its
// escapes are decoded, and values can then be looked up by key.

#include <map>
#include <memory>
#include <string>
#include <vector>

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    std::string text;  // a string's decoded UTF-8, a number's or a bool's spelling
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> fields;

    const JsonValue& operator[](const std::string& key) const;  // Null when absent
};

// False when `text` is not exactly one JSON value (white space around it allowed).
bool parseJson(const std::string& text, JsonValue* value);
