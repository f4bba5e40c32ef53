#pragma once

// Whether an executable's file holds bytes as the running game will have them.
// A packer leaves code sections empty in the file and unpacks them when the
// game starts; a store's DRM wrapper encrypts them and decrypts them at start.
// Either way the file's bytes are not the game's, and a verdict read from them
// would be a guess.

#include <cstdint>
#include <string>
#include <vector>

#include "checker/read/code_measure.h"
#include "checker/read/pe_image.h"

enum class Held {
    InFile,         // every byte is the file's, as it lies
    NoRawData,      // in a section with no data in the file: filled at run time, if at all
    PastRawData,    // past the end of its section's data in the file
    PastEndOfFile,  // the section's data is promised past the end of a file cut short
    NotMapped,      // not part of the image
};

struct HeldRange {
    Held held;
    const ImageSection* section;  // the section of the first byte that is not the file's; null: headers, outside
};

HeldRange fileHolds(const PeImage& image, HostAddress address, std::uint32_t size);

// Shannon entropy of the file's bytes around a range, in bits per byte: a
// window of kEntropyWindow bytes centred on it, kept inside the run of file
// bytes that holds its first byte (so a small section gives a smaller window).
struct Entropy {
    double bitsPerByte = 0;
    std::uint32_t window = 0;  // bytes measured
};

constexpr std::uint32_t kEntropyWindow = 4096;

Entropy entropyAround(const PeImage& image, HostAddress address, std::uint32_t size);
Entropy entropyOf(const unsigned char* bytes, std::uint32_t size);

// Above this, bytes measured in a window of this size are taken for compressed
// or encrypted; plain x86 code stays below it. A window under 256 bytes says
// too little to tell code from noise: 8, which no window exceeds.
double packedEntropyFor(std::uint32_t window);
bool looksPacked(const Entropy& entropy);

// Whether the section's memory is code the game runs: it executes, or is marked as code.
bool sectionRuns(const ImageSection& section);

// The code measure of the file's bytes around a range in a section that runs:
// a window of up to kEntropyWindow bytes, kept inside the run of file bytes
// that holds its first byte and inside what the section covers in memory
// (past that, the page is zeros at run time too, and no code).
CodeMeasure codeAround(const PeImage& image, HostAddress address, std::uint32_t size);

// What a packer or wrapper usually leaves in the headers. Support for the
// words only: plain executables may show them too.
struct PackerSigns {
    std::vector<std::string> upxSections;  // UPX0, UPX1, ...
    std::string entrySection;              // the section that holds the entry point; empty: none
    std::string firstCodeSection;          // the first section that runs; empty: none
    bool entryOutsideCode = false;         // the entry point is not in the first section that runs
};

PackerSigns packerSigns(const PeImage& image);
