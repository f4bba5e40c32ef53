#include "checker/read/held_bytes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t kSectionHasCode = 0x00000020;
constexpr std::uint32_t kSectionExecutes = 0x20000000;


// Why the byte at `address` is not the file's.
Held whyNotHeld(const PeImage& image, HostAddress address, const ImageSection* section) {
    if (section == nullptr) return imageRegion(image, address).committed ? Held::PastEndOfFile : Held::NotMapped;
    if (section->rawSize == 0) return Held::NoRawData;
    const std::uint64_t dataEnd = std::uint64_t{section->rawOffset} + section->rawSize;
    const std::uint64_t offset = address - (std::uint64_t{image.imageBase} + section->virtualAddress);
    if (offset < section->rawSize && dataEnd > image.file.size()) return Held::PastEndOfFile;
    return Held::PastRawData;
}

// Where a window of `window` bytes centred on the range starts, kept inside [from, from + size).
std::uint64_t windowStart(std::uint64_t from, std::uint32_t size, std::uint32_t window, HostAddress address,
                          std::uint32_t bytes) {
    const std::uint64_t centre = std::uint64_t{address} + bytes / 2;
    const std::uint64_t start = centre > from + std::uint64_t{window} / 2 ? centre - window / 2 : from;
    return std::min(start, from + size - window);
}

}  // namespace

bool sectionRuns(const ImageSection& section) { return section.characteristics & (kSectionHasCode | kSectionExecutes); }

HeldRange fileHolds(const PeImage& image, HostAddress address, std::uint32_t size) {
    for (std::uint64_t at = address; at < std::uint64_t{address} + size; ++at) {
        const HostAddress byte = static_cast<HostAddress>(at);
        FileRun run;
        if (at >= kAddressSpaceEnd) return {Held::NotMapped, nullptr};
        if (!fileRunAt(image, byte, &run)) {
            const ImageSection* section = sectionAt(image, byte);
            return {whyNotHeld(image, byte, section), section};
        }
    }
    return {Held::InFile, nullptr};
}

Entropy entropyOf(const unsigned char* bytes, std::uint32_t size) {
    std::uint32_t counts[256] = {};
    for (std::uint32_t i = 0; i < size; ++i) ++counts[bytes[i]];
    double bits = 0;
    for (std::uint32_t count : counts) {
        if (count == 0) continue;
        const double p = static_cast<double>(count) / size;
        bits -= p * std::log2(p);
    }
    return {bits, size};
}

Entropy entropyAround(const PeImage& image, HostAddress address, std::uint32_t size) {
    FileRun run;
    if (!fileRunAt(image, address, &run)) return {};
    const std::uint32_t window = std::min(run.size, kEntropyWindow);
    // Centred on the range, moved back inside the run where it would leave it.
    const std::uint64_t from = windowStart(run.begin, run.size, window, address, size);
    return entropyOf(image.file.data() + run.fileOffset + (from - run.begin), window);
}

CodeMeasure codeAround(const PeImage& image, HostAddress address, std::uint32_t size) {
    FileRun run;
    const ImageSection* section = sectionAt(image, address);
    if (section == nullptr || !fileRunAt(image, address, &run)) return {};
    const std::uint64_t sectionEnd = std::uint64_t{image.imageBase} + section->virtualAddress + section->virtualSize;
    const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{run.begin} + run.size, sectionEnd);
    if (end <= address) return {};
    const std::uint32_t held = static_cast<std::uint32_t>(end - run.begin);
    const std::uint32_t window = std::min(held, kEntropyWindow);
    const std::uint64_t from = windowStart(run.begin, held, window, address, size);
    return measureCode(image.file.data() + run.fileOffset + (from - run.begin), window);
}

double packedEntropyFor(std::uint32_t window) {
    // Between the highest entropy of plain code and the lowest of encrypted
    // bytes, for windows of each size: the fewer the bytes, the lower both
    // (measured by bench/entropy_survey.cpp; figures in docs/development.md).
    struct Threshold {
        std::uint32_t window;
        double bits;
    };
    // clang-format off
    //                                         code's highest  encrypted's lowest
    constexpr Threshold kThresholds[] = {{2048, 7.30},  // 6.71            7.87
                                         {1024, 7.20},  // 6.66            7.71
                                         {512, 7.00},   // 6.51            7.41
                                         {256, 6.60}};  // 6.38            6.86
    // clang-format on
    for (const Threshold& threshold : kThresholds) {
        if (window >= threshold.window) return threshold.bits;
    }
    return 8;  // too few bytes to tell: nothing counts as packed
}

bool looksPacked(const Entropy& entropy) { return entropy.bitsPerByte > packedEntropyFor(entropy.window); }

PackerSigns packerSigns(const PeImage& image) {
    PackerSigns signs;
    const ImageSection* firstCode = nullptr;
    for (const ImageSection& section : image.sections) {
        if (section.name.rfind("UPX", 0) == 0) signs.upxSections.push_back(section.name);
        if (firstCode == nullptr && sectionRuns(section)) firstCode = &section;
    }
    if (firstCode != nullptr) signs.firstCodeSection = firstCode->name;
    if (image.entryPoint == 0) return signs;
    const std::uint64_t entryAt = std::uint64_t{image.imageBase} + image.entryPoint;
    const ImageSection* entry = entryAt < kAddressSpaceEnd ? sectionAt(image, static_cast<HostAddress>(entryAt)) : nullptr;
    if (entry != nullptr) signs.entrySection = entry->name;
    signs.entryOutsideCode = entry == nullptr || entry != firstCode;
    return signs;
}
