#include "tests/support/json_reader.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct Parser {
    const std::string& text;
    std::size_t at = 0;

    void space() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\r' || text[at] == '\t')) ++at;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (text.compare(at, w.size(), w) != 0) return false;
        at += w.size();
        return true;
    }
    static void append(std::string* out, std::uint32_t point) {
        if (point < 0x80) {
            *out += static_cast<char>(point);
        } else if (point < 0x800) {
            *out += static_cast<char>(0xC0 | point >> 6);
            *out += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            *out += static_cast<char>(0xE0 | point >> 12);
            *out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | point >> 18);
            *out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
            *out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    bool hex4(std::uint32_t* unit) {
        if (at + 4 > text.size()) return false;
        char* end = nullptr;
        const std::string digits = text.substr(at, 4);
        *unit = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), &end, 16));
        at += 4;
        return end == digits.c_str() + 4;
    }
    // One raw UTF-8 sequence, well formed, copied to out.
    bool utf8(std::string* out) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        const int length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || at + length > text.size()) return false;
        std::uint32_t point = lead & (0x7F >> length);
        for (int i = 1; i < length; ++i) {
            const unsigned char next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
        out->append(text, at, length);
        at += length;
        return true;
    }
    bool string(std::string* out) {
        if (at >= text.size() || text[at] != '"') return false;
        ++at;
        while (at < text.size() && text[at] != '"') {
            const unsigned char c = static_cast<unsigned char>(text[at]);
            if (c < 0x20) return false;
            if (c >= 0x80) {
                if (!utf8(out)) return false;
                continue;
            }
            ++at;
            if (c != '\\') {
                *out += static_cast<char>(c);
                continue;
            }
            if (at >= text.size()) return false;
            const char e = text[at++];
            const std::string simple = "\"\\/bfnrt";
            const std::string meaning = "\"\\/\b\f\n\r\t";
            if (simple.find(e) != std::string::npos) {
                *out += meaning[simple.find(e)];
            } else if (e == 'u') {
                std::uint32_t unit = 0;
                if (!hex4(&unit)) return false;
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (!literal("\\u") || !hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                    return false;
                }
                append(out, unit);
            } else {
                return false;
            }
        }
        if (at >= text.size()) return false;
        ++at;
        return true;
    }
    bool value(JsonValue* v) {
        space();
        if (at >= text.size()) return false;
        const char c = text[at];
        if (c == '{') {
            v->kind = JsonValue::Kind::Object;
            ++at;
            space();
            if (at < text.size() && text[at] == '}') return ++at, true;
            for (;;) {
                space();
                std::string key;
                if (!string(&key)) return false;
                space();
                if (!literal(":")) return false;
                if (!value(&v->fields[key])) return false;
                space();
                if (literal("}")) return true;
                if (!literal(",")) return false;
            }
        }
        if (c == '[') {
            v->kind = JsonValue::Kind::Array;
            ++at;
            space();
            if (at < text.size() && text[at] == ']') return ++at, true;
            for (;;) {
                v->items.emplace_back();
                if (!value(&v->items.back())) return false;
                space();
                if (literal("]")) return true;
                if (!literal(",")) return false;
            }
        }
        if (c == '"') {
            v->kind = JsonValue::Kind::String;
            return string(&v->text);
        }
        if (literal("null")) return true;
        if (literal("true") || literal("false")) {
            v->kind = JsonValue::Kind::Bool;
            v->text = text[at - 1] == 'e' && text[at - 2] == 'u' ? "true" : "false";
            return true;
        }
        const std::size_t start = at;
        if (at < text.size() && text[at] == '-') ++at;
        while (at < text.size() && ((text[at] >= '0' && text[at] <= '9') || text[at] == '.' || text[at] == 'e' ||
                                    text[at] == 'E' || text[at] == '+' || text[at] == '-')) {
            ++at;
        }
        if (at == start) return false;
        v->kind = JsonValue::Kind::Number;
        v->text = text.substr(start, at - start);
        return true;
    }
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
    static const JsonValue kNull;
    const auto found = fields.find(key);
    return found == fields.end() ? kNull : found->second;
}

bool parseJson(const std::string& text, JsonValue* value) {
    Parser parser{text};
    *value = JsonValue{};
    if (!parser.value(value)) return false;
    parser.space();
    return parser.at == text.size();
}
