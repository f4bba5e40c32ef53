// The measure behind "not plain code": the share of odd instructions (ones
// compilers never emit, and bytes that decode as none) in a window of bytes
// decoded as 32-bit x86, runs of one repeated instruction left out. Prints its
// range over every window of the code sections of real programs, by compiler,
// and over bytes that hide code: substituted one for one, encrypted,
// compressed, zeros. So the threshold can be set from figures, and checked again.
//
//   code_survey < LIST     LIST: one file a line, "code COMPILER PATH" (an
//                          executable or a COFF object: its sections that run),
//                          or "compressed - PATH" (a whole file of compressed data).
//                          The code is also measured substituted (by a random
//                          table per section) and encrypted (XORed with a keystream).

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "checker/read/code_measure.h"
#include "checker/read/held_bytes.h"

namespace {

constexpr std::uint32_t kWindows[] = {256, 512, 1024, 2048, 4096};

struct Section {
    std::string file;
    std::string where;
    std::vector<unsigned char> bytes;
};

std::vector<unsigned char> readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The file data of the sections that run, up to their size in memory: of a
// PE32 or PE32+ executable (x86 code either way), or of an i386 COFF object
// (what a compiler writes before the linker).
std::vector<Section> sectionsThatRun(const std::vector<unsigned char>& bytes, const std::string& path) {
    const auto u16 = [&](std::size_t at) { return at + 2 <= bytes.size() ? bytes[at] | bytes[at + 1] << 8 : 0; };
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
    };
    std::size_t table = 0;
    std::size_t count = 0;
    bool object = false;
    if (bytes.size() > 20 && u16(0) == 0x14C) {
        object = true;
        table = 20 + u16(16);
        count = u16(2);
    } else {
        const std::size_t nt = u32(0x3C);
        if (bytes.size() < 64 || nt + 24 > bytes.size() || u32(nt) != 0x4550) return {};
        table = nt + 24 + u16(nt + 20);
        count = u16(nt + 6);
    }
    std::vector<Section> sections;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t h = table + 40 * i;
        if (h + 40 > bytes.size()) break;
        if (!(u32(h + 36) & 0x20000020)) continue;
        const std::size_t from = u32(h + 20);
        const std::size_t virtualSize = object ? 0 : u32(h + 8);
        std::size_t size = virtualSize != 0 ? std::min<std::size_t>(u32(h + 16), virtualSize) : u32(h + 16);
        if (from >= bytes.size() || size == 0) continue;
        size = std::min(size, bytes.size() - from);
        const std::string name(reinterpret_cast<const char*>(&bytes[h]), strnlen(reinterpret_cast<const char*>(&bytes[h]), 8));
        sections.push_back({path, path + ":" + name, {bytes.begin() + from, bytes.begin() + from + size}});
    }
    return sections;
}

struct Sample {
    double odd;
    std::uint32_t filler;
    bool code;
    const std::string* file;
    std::string where;
};

// Every window of each size, back to back, as they fall.
void measure(const std::vector<Section>& sections, std::map<std::uint32_t, std::vector<Sample>>* samples) {
    for (const Section& section : sections) {
        for (std::uint32_t window : kWindows) {
            for (std::size_t at = 0; at + window <= section.bytes.size(); at += window) {
                const CodeMeasure m = measureCode(section.bytes.data() + at, window);
                (*samples)[window].push_back({m.oddPercent(), m.filler, looksLikeCode(m), &section.file,
                                              section.where + "+" + std::to_string(at)});
            }
        }
    }
}

void print(const std::string& kind, std::map<std::uint32_t, std::vector<Sample>>& samples) {
    for (auto& [window, s] : samples) {
        if (s.empty()) continue;
        const std::size_t code = std::count_if(s.begin(), s.end(), [](const Sample& x) { return x.code; });
        // The files measured, and those any of whose windows the checker would not take for code.
        std::set<std::string> files;
        std::set<std::string> notCode;
        for (const Sample& x : s) {
            files.insert(*x.file);
            if (!x.code) notCode.insert(*x.file);
        }
        std::sort(s.begin(), s.end(), [](const Sample& a, const Sample& b) { return a.odd < b.odd; });
        const auto at = [&](double q) { return s[static_cast<std::size_t>(q * (s.size() - 1))].odd; };
        std::printf("%-12s window %4u: %7zu windows of %zu files; odd %% lowest %.2f, 1%% %.2f, median %.2f, "
                    "99%% %.2f, 99.9%% %.2f, highest %.2f; taken for code %.2f%% (above %.1f: not); "
                    "files with a window not taken for code: %zu\n",
                    kind.c_str(), window, s.size(), files.size(), s.front().odd, at(0.01), at(0.5), at(0.99), at(0.999),
                    s.back().odd, 100.0 * code / s.size(), oddPercentFor(window), notCode.size());
        const bool ofCode = kind.rfind("code ", 0) == 0;
        const Sample& edge = ofCode ? s.back() : s.front();
        std::printf("    %s at %s (filler %u bytes)\n", ofCode ? "highest" : "lowest", edge.where.c_str(), edge.filler);
    }
}

}  // namespace

int main() {
    std::map<std::string, std::vector<Section>> code;
    std::vector<Section> compressed;
    std::string kind;
    std::string group;
    std::string path;
    while (std::cin >> kind >> group && std::getline(std::cin >> std::ws, path)) {
        std::vector<unsigned char> bytes = readAll(path);
        if (kind == "code") {
            for (Section& s : sectionsThatRun(bytes, path)) code[group].push_back(std::move(s));
        } else if (kind == "compressed") {
            compressed.push_back({path, path, std::move(bytes)});
        }
    }
    std::mt19937_64 random(20261211);
    std::vector<Section> substituted;
    std::vector<Section> encrypted;
    for (auto& [compiler, sections] : code) {
        std::map<std::uint32_t, std::vector<Sample>> samples;
        measure(sections, &samples);
        print("code " + compiler, samples);
        // Each compiler's code hidden two ways, a few sections of each.
        for (std::size_t i = 0; i < sections.size(); i += 1 + sections.size() / 40) {
            unsigned char table[256];
            for (int v = 0; v < 256; ++v) table[v] = static_cast<unsigned char>(v);
            std::shuffle(table, table + 256, random);
            Section s = sections[i];
            Section e = sections[i];
            for (unsigned char& b : s.bytes) b = table[b];
            for (unsigned char& b : e.bytes) b ^= static_cast<unsigned char>(random());
            substituted.push_back(std::move(s));
            encrypted.push_back(std::move(e));
        }
    }
    const std::pair<const char*, std::vector<Section>*> hidden[] = {
        {"substituted", &substituted}, {"encrypted", &encrypted}, {"compressed", &compressed}};
    for (const auto& [name, sections] : hidden) {
        std::map<std::uint32_t, std::vector<Sample>> samples;
        measure(*sections, &samples);
        print(name, samples);
    }
    for (const unsigned char value : {0x00, 0x90, 0xCC, 0xFF}) {
        const std::vector<unsigned char> same(4096, value);
        const CodeMeasure m = measureCode(same.data(), 4096);
        std::printf("4096 bytes of 0x%02X: filler %u bytes, %u instructions besides; taken for code: %s\n", value,
                    m.filler, m.instructions, looksLikeCode(m) ? "yes" : "no");
    }
    return 0;
}
