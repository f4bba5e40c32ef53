// The measure behind "looks encrypted or compressed": the byte entropy of a
// window of file bytes, as menupatch-check takes it around the bytes the
// plug-in reads. Prints its range over the code sections of real executables
// (every window of each size), over compressed files, and over encrypted bytes,
// so that the threshold can be set from figures and checked again.
//
//   entropy_survey < LIST     LIST: one path a line, each "code PATH" (an
//                             executable: its sections that run), "compressed
//                             PATH" (a whole file of compressed data), "packed
//                             PATH" (an executable packed by UPX: its sections
//                             that run) or "encrypted
//                             PATH" (any file: its bytes XORed with a keystream
//                             first, as a wrapper encrypts code)

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "checker/read/held_bytes.h"

namespace {

constexpr std::uint32_t kWindows[] = {256, 512, 1024, 2048, 4096};

struct Sample {
    double bits;
    std::string where;
};

struct Range {
    std::vector<Sample> samples;
    std::size_t files = 0;
};

std::vector<unsigned char> readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void windowsOf(const unsigned char* bytes, std::size_t size, const std::string& where,
               std::map<std::uint32_t, Range>* ranges) {
    for (std::uint32_t window : kWindows) {
        for (std::size_t at = 0; at + window <= size; at += window) {
            (*ranges)[window].samples.push_back(
                {entropyOf(bytes + at, window).bitsPerByte, where + "+" + std::to_string(at)});
        }
    }
}

// The range of each window size, and how many windows the checker's threshold
// takes for packed.
void print(const char* kind, std::map<std::uint32_t, Range>& ranges) {
    for (auto& [window, range] : ranges) {
        std::vector<Sample>& s = range.samples;
        if (s.empty()) continue;
        std::sort(s.begin(), s.end(), [](const Sample& a, const Sample& b) { return a.bits < b.bits; });
        const auto at = [&](double q) { return s[static_cast<std::size_t>(q * (s.size() - 1))].bits; };
        const double threshold = packedEntropyFor(window);
        const std::size_t packed = static_cast<std::size_t>(
            s.end() - std::upper_bound(s.begin(), s.end(), threshold,
                                       [](double bits, const Sample& sample) { return bits < sample.bits; }));
        std::printf("%-10s window %4u: %7zu windows, lowest %.3f, 0.1%% %.3f, median %.3f, 99.9%% %.3f, "
                    "highest %.3f; above %.2f: %.2f%%\n    highest at %s\n",
                    kind, window, s.size(), s.front().bits, at(0.001), at(0.5), at(0.999), s.back().bits,
                    threshold, 100.0 * packed / s.size(), s.back().where.c_str());
    }
}

// The file data of an executable's sections that run, by window. Read by
// hand, not by the checker's reader, so that 64-bit executables count too:
// their code is x86 code all the same. Returns how many sections it read.
std::size_t sectionsThatRun(const std::vector<unsigned char>& bytes, const std::string& path,
                            std::map<std::uint32_t, Range>* ranges) {
    const auto u16 = [&](std::size_t at) { return at + 2 <= bytes.size() ? bytes[at] | bytes[at + 1] << 8 : 0; };
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
    };
    const std::size_t nt = u32(0x3C);
    if (bytes.size() < 64 || nt + 24 > bytes.size() || u32(nt) != 0x4550) return 0;
    const std::size_t table = nt + 24 + u16(nt + 20);
    std::size_t read = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(u16(nt + 6)); ++i) {
        const std::size_t h = table + 40 * i;
        if (h + 40 > bytes.size()) break;
        if (!(u32(h + 36) & 0x20000020)) continue;
        const std::size_t from = u32(h + 20);
        // The code without the file's padding after it.
        const std::size_t virtualSize = u32(h + 8);
        const std::size_t size = virtualSize != 0 ? std::min<std::size_t>(u32(h + 16), virtualSize) : u32(h + 16);
        if (from >= bytes.size() || size == 0) continue;
        const std::string name(reinterpret_cast<const char*>(&bytes[h]), strnlen(reinterpret_cast<const char*>(&bytes[h]), 8));
        windowsOf(bytes.data() + from, std::min(size, bytes.size() - from), path + ":" + name, ranges);
        ++read;
    }
    return read;
}

}  // namespace

int main() {
    std::map<std::string, std::map<std::uint32_t, Range>> kinds;
    std::mt19937_64 keystream(20261211);
    std::size_t codeFiles = 0;
    std::size_t codeSections = 0;
    std::string kind;
    std::string path;
    while (std::cin >> kind && std::getline(std::cin >> std::ws, path)) {
        std::vector<unsigned char> bytes = readAll(path);
        if (kind == "compressed") {
            windowsOf(bytes.data(), bytes.size(), path, &kinds[kind]);
        } else if (kind == "encrypted") {
            for (unsigned char& b : bytes) b ^= static_cast<unsigned char>(keystream());
            windowsOf(bytes.data(), bytes.size(), path, &kinds[kind]);
        } else if (kind == "code" || kind == "packed") {
            const std::size_t sections = sectionsThatRun(bytes, path, &kinds[kind]);
            if (kind == "code") {
                codeSections += sections;
                codeFiles += sections != 0;
            }
        }
    }
    std::printf("code: %zu sections that run, of %zu executables\n", codeSections, codeFiles);
    for (const char* name : {"code", "packed", "compressed", "encrypted"}) print(name, kinds[name]);
    return 0;
}
