#pragma once

// A 32-bit Windows executable read from its file, without running it, as the
// loader would map it at its preferred base. Every offset and size is checked
// against the file; a file the loader would refuse is refused here too.

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_memory.h"

struct ImageSection {
    std::string name;
    std::uint32_t virtualAddress;  // from the image base
    std::uint32_t mappedSize;      // as mapped: rounded up to the section alignment
    std::uint32_t virtualSize;     // its own size in memory (VirtualSize, else its raw size);
                                   // what it does not cover of its last page is zeros
    std::uint32_t rawOffset;       // where the loader reads from: PointerToRawData, down to a sector
    std::uint32_t rawSize;         // bytes mapped from there, whole sectors; the rest reads 0
                                   // (an image aligned below a page maps the file as it lies)
    std::uint32_t characteristics;
};

struct PeImage {
    std::vector<unsigned char> file;
    HostAddress imageBase = 0;
    std::uint32_t mappedSize = 0;  // SizeOfImage, rounded up to the section alignment
    std::uint32_t sectionAlignment = 0;
    std::uint32_t headersSize = 0;  // the file bytes that the first pages hold
    std::uint16_t characteristics = 0;
    std::uint16_t dllCharacteristics = 0;
    std::uint32_t relocationsSize = 0;  // the base relocation directory's; 0: none
    std::uint32_t resourcesAt = 0;      // the resource directory, from the image base
    std::uint32_t resourcesSize = 0;    // 0: none
    std::uint32_t entryPoint = 0;       // AddressOfEntryPoint, from the image base; 0: none
    std::vector<ImageSection> sections;
};

enum class ImageProblem {
    None,
    NotWindows32,    // not a Windows executable
    OtherProcessor,  // a Windows executable, but 64-bit or for another processor than i386
    Truncated,     // something the headers promise lies past the end of the file
    Malformed,     // the loader would refuse it; `why` says so in a player's words
    Uncertain,     // it loads, but what some of its memory holds depends on the loader
};

struct ImageReading {
    ImageProblem problem;
    std::string why;  // plain words; empty when there is no problem
};

ImageReading readPeImage(std::vector<unsigned char> file, PeImage* image);

// What VirtualQuery would answer in a process that mapped the image: the
// headers read-only, each section with the protection its flags give, the
// rest not committed.
HostRegion imageRegion(const PeImage& image, HostAddress address);

// The bytes as mapped; false unless every one lies in a committed part.
bool readImage(const PeImage& image, HostAddress address, unsigned char* out, std::uint32_t size);

// The page protection the loader gives a section with these flags.
std::uint32_t sectionProtection(const PeImage& image, std::uint32_t characteristics);

// A run of mapped bytes that the loader copies from the file as it lies: from
// `begin`, `size` bytes, taken from the file at `fileOffset`.
struct FileRun {
    HostAddress begin;
    std::uint32_t size;
    std::uint64_t fileOffset;
};

// The run that holds the mapped byte at `address`; false where the byte is not
// the file's (zeros the loader supplies: past a section's data, or past the
// end of a file cut short) or not mapped at all.
bool fileRunAt(const PeImage& image, HostAddress address, FileRun* run);

// The section that holds the address; null for the headers and outside.
const ImageSection* sectionAt(const PeImage& image, HostAddress address);

// Relocations and a dynamic base: the loader may put it elsewhere than its base.
bool imageCanMove(const PeImage& image);

// The application manifest the executable carries for its process (resource
// type 24, id 1, any language), as its bytes; empty when it has none. Every
// offset of the resource tree is checked against the directory and the image.
std::string imageManifest(const PeImage& image);

// A manifest that names a requestedExecutionLevel marks a program written for
// UAC: Windows does not redirect its files into the VirtualStore.
bool manifestRequestsExecutionLevel(const std::string& manifest);
