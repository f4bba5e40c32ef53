#include "checker/read/pe_image.h"

#include <windows.h>

#include <algorithm>

#include "text/text.h"

namespace {

// Offsets and values of the PE format, as its documentation lays it out.
constexpr std::uint32_t kDosHeaderSize = 64;
constexpr std::uint32_t kNewHeaderPointer = 0x3C;  // e_lfanew
constexpr std::uint32_t kFileHeaderSize = 20;
constexpr std::uint32_t kOptionalHeaderStart = 4 + kFileHeaderSize;  // after "PE\0\0"
constexpr std::uint32_t kOptionalHeaderMinimum = 96;  // PE32 fields before the directories
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kRelocationDirectory = 5;

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMachineArm64 = 0xAA64;
constexpr std::uint16_t kMagicPe32 = 0x010B;
constexpr std::uint16_t kMagicPe32Plus = 0x020B;
constexpr std::uint16_t kRelocationsStripped = 0x0001;
constexpr std::uint16_t kDynamicBase = 0x0040;

constexpr std::uint32_t kSectionExecutes = 0x20000000;
constexpr std::uint32_t kSectionReads = 0x40000000;
constexpr std::uint32_t kSectionWrites = 0x80000000;

constexpr std::uint32_t kPageSize = 0x1000;
constexpr std::uint32_t kImageBaseAlignment = 0x10000;
// The loader reads section data in whole disk sectors, whatever FileAlignment says.
constexpr std::uint32_t kSectorSize = 0x200;

// Little-endian fields at an offset the caller has checked.
std::uint16_t u16(const std::vector<unsigned char>& file, std::uint64_t at) {
    return static_cast<std::uint16_t>(file[at] | file[at + 1] << 8);
}
std::uint32_t u32(const std::vector<unsigned char>& file, std::uint64_t at) {
    return static_cast<std::uint32_t>(u16(file, at)) | static_cast<std::uint32_t>(u16(file, at + 2)) << 16;
}

std::uint64_t roundUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool powerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

ImageReading problem(ImageProblem kind, std::string why) {
    if (kind == ImageProblem::Malformed) why = "Windows would not start this executable: " + why;
    return {kind, std::move(why)};
}

std::string sectionName(const std::vector<unsigned char>& file, std::uint64_t header) {
    std::string name;
    for (std::uint64_t i = 0; i < 8 && file[header + i] != 0; ++i) {
        const unsigned char c = file[header + i];
        name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return name;
}

// Under a page of alignment the loader maps the file as it lies, as one piece
// that may be written and run.
bool lowAlignment(const PeImage& image) { return image.sectionAlignment < kPageSize; }

// The section that holds the address (sections lie in address order, one
// after another), or null. A lookup, not a walk: an executable may have 65535.
const ImageSection* sectionHolding(const PeImage& image, HostAddress address) {
    const std::uint64_t base = image.imageBase;
    if (address < base) return nullptr;
    const std::uint64_t offset = address - base;
    const auto after = std::upper_bound(
        image.sections.begin(), image.sections.end(), offset,
        [](std::uint64_t at, const ImageSection& s) { return at < s.virtualAddress; });
    if (after == image.sections.begin()) return nullptr;
    const ImageSection& section = *(after - 1);
    return offset < std::uint64_t{section.virtualAddress} + section.mappedSize ? &section : nullptr;
}

// The part of the image that holds an address: where it begins and ends, its
// protection, and what of it comes from the file: the bytes from `fileStart`
// on, for its first `fromFile` bytes (as far as the file goes); zeros after.
struct Piece {
    std::uint64_t begin;
    std::uint64_t end;
    std::uint32_t protection;
    std::uint64_t fileStart;
    std::uint64_t fromFile;
};

bool pieceAt(const PeImage& image, HostAddress address, Piece* piece) {
    const std::uint64_t base = image.imageBase;
    if (address < base || address >= base + image.mappedSize) return false;
    if (lowAlignment(image)) {
        // The whole file, as it lies.
        *piece = {base, base + image.mappedSize, PAGE_EXECUTE_WRITECOPY, 0, image.mappedSize};
        return true;
    }
    const std::uint64_t headersEnd = base + roundUp(image.headersSize, image.sectionAlignment);
    if (address < headersEnd) {
        *piece = {base, headersEnd, PAGE_READONLY, 0, image.headersSize};
        return true;
    }
    const ImageSection* section = sectionHolding(image, address);
    if (section == nullptr) return false;
    const std::uint64_t begin = base + section->virtualAddress;
    *piece = {begin, begin + section->mappedSize,
              sectionProtection(image, section->characteristics), section->rawOffset,
              section->rawSize};
    return true;
}

// The part of the file the loader maps into a section: from PointerToRawData
// rounded down to a sector, SizeOfRawData plus that rounding, up to whole
// sectors, no more than the section maps. No data (a pointer or a size of 0)
// is a section of zeros.
void placeSectionData(ImageSection* section, std::uint32_t pointer, std::uint32_t rawSize) {
    if (pointer == 0 || rawSize == 0) {
        section->rawOffset = 0;
        section->rawSize = 0;
        return;
    }
    section->rawOffset = pointer & ~(kSectorSize - 1);
    const std::uint64_t sectors = roundUp(std::uint64_t{rawSize} + (pointer & (kSectorSize - 1)), kSectorSize);
    section->rawSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, section->mappedSize));
}

ImageReading readSections(PeImage* image, std::uint64_t table, std::uint16_t count,
                          std::uint64_t firstSectionAt) {
    const std::vector<unsigned char>& file = image->file;
    const bool flat = lowAlignment(*image);
    std::uint64_t previousEnd = firstSectionAt;
    std::string previousName = "the headers";
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t header = table + std::uint64_t{i} * kSectionHeaderSize;
        ImageSection section;
        section.name = sectionName(file, header);
        const std::uint32_t virtualSize = u32(file, header + 8);
        section.virtualAddress = u32(file, header + 12);
        const std::uint32_t rawSize = u32(file, header + 16);
        const std::uint32_t pointer = u32(file, header + 20);
        section.characteristics = u32(file, header + 36);
        const std::string what = "section " + std::to_string(i + 1) + " (" + section.name + ")";

        const std::uint64_t mapped =
            roundUp(virtualSize != 0 ? virtualSize : rawSize, image->sectionAlignment);
        if (!flat && section.virtualAddress % image->sectionAlignment != 0) {
            return problem(ImageProblem::Malformed, what + " does not start on a section boundary");
        }
        if (section.virtualAddress < previousEnd) {
            return problem(ImageProblem::Malformed, what + " overlaps " + previousName);
        }
        // Windows maps an image's sections back to back; Wine would fill a gap
        // with zeros that run and can be written, Windows refuses the file.
        if (!flat && section.virtualAddress > previousEnd) {
            return problem(ImageProblem::Malformed,
                           "there is a gap in its memory from " +
                               hexNumber(image->imageBase + previousEnd) + " to " +
                               hexNumber(image->imageBase + std::uint64_t{section.virtualAddress}) +
                               ", between " + previousName + " and " + what);
        }
        if (section.virtualAddress + mapped > image->mappedSize) {
            return problem(ImageProblem::Malformed, what + " runs past the image's size (" +
                                                        hexNumber(image->mappedSize) + ")");
        }
        section.mappedSize = static_cast<std::uint32_t>(mapped);
        section.virtualSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(virtualSize != 0 ? virtualSize : rawSize, mapped));
        if (flat) {
            // Mapped as the file lies, so every section must lie where it is mapped.
            if (pointer != section.virtualAddress) {
                return problem(ImageProblem::Malformed, what + " is not where its file data lies");
            }
            section.rawOffset = pointer;
            section.rawSize = section.mappedSize;
        } else {
            placeSectionData(&section, pointer, rawSize);
            // A file may end inside its last sector: the loader reads the
            // sector's rest as zeros. One that ends sooner it refuses.
            const std::uint64_t end = std::uint64_t{section.rawOffset} + section.rawSize;
            if (section.rawSize != 0 && (pointer >= file.size() || end > roundUp(file.size(), kSectorSize))) {
                return problem(ImageProblem::Truncated,
                               what + "'s data runs to byte " + std::to_string(end) +
                                   ", past the end of the file (" + std::to_string(file.size()) + " bytes)");
            }
        }
        previousEnd = std::uint64_t{section.virtualAddress} + mapped;
        previousName = what;
        image->sections.push_back(section);
    }
    // Space after the last section is not the gap Windows refuses; Wine fills
    // it with zeros that run and can be written, and what Windows puts there
    // has not been seen. Rather no answer than a wrong one.
    if (!flat && previousEnd < image->mappedSize) {
        return problem(ImageProblem::Uncertain,
                       "its sections end at " + hexNumber(image->imageBase + previousEnd) +
                           ", short of the image's end (" +
                           hexNumber(std::uint64_t{image->imageBase} + image->mappedSize) +
                           "), and what fills the space between depends on the loader");
    }
    return {ImageProblem::None, {}};
}

}  // namespace

ImageReading readPeImage(std::vector<unsigned char> file, PeImage* image) {
    *image = PeImage{};
    image->file = std::move(file);
    const std::vector<unsigned char>& f = image->file;
    const std::uint64_t size = f.size();

    if (size == 0) return problem(ImageProblem::NotWindows32, "the file is empty");
    if (size < 2 || f[0] != 'M' || f[1] != 'Z') {
        return problem(ImageProblem::NotWindows32, "not a Windows executable (no MZ header)");
    }
    if (size < kDosHeaderSize) {
        return problem(ImageProblem::Truncated, "the file ends inside its DOS header");
    }
    const std::uint64_t nt = u32(f, kNewHeaderPointer);
    if (nt + 4 > size) {
        return problem(ImageProblem::Truncated, "the file ends before its PE header (at byte " +
                                                    std::to_string(nt) + ")");
    }
    if (f[nt] != 'P' || f[nt + 1] != 'E' || f[nt + 2] != 0 || f[nt + 3] != 0) {
        return problem(ImageProblem::NotWindows32,
                       "not a Windows executable (an MZ header with no PE header: a DOS program?)");
    }
    if (nt + kOptionalHeaderStart > size) {
        return problem(ImageProblem::Truncated, "the file ends inside its file header");
    }
    const std::uint16_t machine = u16(f, nt + 4);
    if (machine == kMachineAmd64 || machine == kMachineArm64) {
        return problem(ImageProblem::OtherProcessor, "a 64-bit executable, not the 32-bit game");
    }
    if (machine != kMachineI386) {
        return problem(ImageProblem::OtherProcessor, "an executable for another processor (machine " +
                                                       hexNumber(machine) + "), not i386");
    }
    const std::uint16_t sectionCount = u16(f, nt + 6);
    const std::uint16_t optionalSize = u16(f, nt + 20);
    image->characteristics = u16(f, nt + 22);

    const std::uint64_t optional = nt + kOptionalHeaderStart;
    if (optional + 2 > size) {
        return problem(ImageProblem::Truncated, "the file ends before its optional header");
    }
    const std::uint16_t magic = u16(f, optional);
    if (magic == kMagicPe32Plus) {
        return problem(ImageProblem::OtherProcessor, "a 64-bit (PE32+) executable, not the 32-bit game");
    }
    if (magic != kMagicPe32) {
        return problem(ImageProblem::Malformed,
                       "its optional header is not PE32 (magic " + hexNumber(magic) + ")");
    }
    if (optionalSize < kOptionalHeaderMinimum) {
        return problem(ImageProblem::Malformed, "its optional header is too small (" +
                                                    std::to_string(optionalSize) + " bytes)");
    }
    if (optional + optionalSize > size) {
        return problem(ImageProblem::Truncated, "the file ends inside its optional header");
    }
    const std::uint64_t table = optional + optionalSize;
    if (table + std::uint64_t{sectionCount} * kSectionHeaderSize > size) {
        return problem(ImageProblem::Truncated, "its table of " + std::to_string(sectionCount) +
                                                    " sections runs past the end of the file");
    }

    const std::uint64_t imageBase = u32(f, optional + 28);
    image->sectionAlignment = u32(f, optional + 32);
    const std::uint32_t fileAlignment = u32(f, optional + 36);
    const std::uint32_t sizeOfImage = u32(f, optional + 56);
    image->headersSize = u32(f, optional + 60);
    image->dllCharacteristics = u16(f, optional + 70);
    image->entryPoint = u32(f, optional + 16);
    const std::uint32_t directoryCount = u32(f, optional + 92);
    const std::uint64_t directoriesInHeader = (optionalSize - kOptionalHeaderMinimum) / 8;
    const auto directory = [&](std::uint32_t index, std::uint32_t field) {
        const bool there = directoryCount > index && directoriesInHeader > index;
        return there ? u32(f, optional + kOptionalHeaderMinimum + 8 * index + field) : 0;
    };
    image->relocationsSize = directory(kRelocationDirectory, 4);
    image->resourcesAt = directory(kResourceDirectory, 0);
    image->resourcesSize = directory(kResourceDirectory, 4);

    if (!powerOfTwo(image->sectionAlignment) || !powerOfTwo(fileAlignment) ||
        fileAlignment > image->sectionAlignment) {
        return problem(ImageProblem::Malformed,
                       "its section alignment (" + hexNumber(image->sectionAlignment) +
                           ") and file alignment (" + hexNumber(fileAlignment) +
                           ") do not fit together");
    }
    if (image->sectionAlignment < kPageSize && fileAlignment != image->sectionAlignment) {
        return problem(ImageProblem::Malformed, "its section alignment is below a page but differs "
                                                "from its file alignment");
    }
    if (imageBase % kImageBaseAlignment != 0) {
        return problem(ImageProblem::Malformed,
                       "its image base " + hexNumber(imageBase) + " is not on a 64 KiB boundary");
    }
    // Memory comes in pages, also to an image whose sections are aligned on less.
    const std::uint64_t mapped = roundUp(sizeOfImage, std::max(image->sectionAlignment, kPageSize));
    // Up to the last byte of the address space is more than any process has,
    // and its size would not fit in 32 bits.
    if (imageBase + mapped >= kAddressSpaceEnd) {
        return problem(ImageProblem::Malformed, "its image (" + hexNumber(sizeOfImage) +
                                                    " bytes at " + hexNumber(imageBase) +
                                                    ") does not fit below 4 GiB");
    }
    if (image->headersSize > size) {
        return problem(ImageProblem::Truncated, "the file ends inside its headers (" +
                                                    std::to_string(image->headersSize) + " bytes promised, " +
                                                    std::to_string(size) + " there)");
    }
    if (image->headersSize < table + std::uint64_t{sectionCount} * kSectionHeaderSize) {
        // The format has SizeOfHeaders cover the section table; Wine starts
        // such a file all the same, and what Windows does has not been seen.
        return problem(ImageProblem::Uncertain,
                       "its section table runs past its headers' size (SizeOfHeaders " +
                           hexNumber(image->headersSize) +
                           "), which the format forbids, and whether it starts at all depends on the loader");
    }
    const std::uint64_t headersMapped = roundUp(image->headersSize, image->sectionAlignment);
    if (headersMapped > mapped) {
        return problem(ImageProblem::Malformed, "its headers are larger than its image");
    }
    image->imageBase = static_cast<HostAddress>(imageBase);
    image->mappedSize = static_cast<std::uint32_t>(mapped);

    return readSections(image, table, sectionCount, lowAlignment(*image) ? 0 : headersMapped);
}

std::uint32_t sectionProtection(const PeImage& image, std::uint32_t characteristics) {
    if (lowAlignment(image)) return PAGE_EXECUTE_WRITECOPY;
    const bool executes = characteristics & kSectionExecutes;
    const bool reads = characteristics & kSectionReads;
    // Writable image pages stay shared with the file until written: copy-on-write.
    if (characteristics & kSectionWrites) return executes ? PAGE_EXECUTE_WRITECOPY : PAGE_WRITECOPY;
    if (executes) return reads ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
    return reads ? PAGE_READONLY : PAGE_NOACCESS;
}

HostRegion imageRegion(const PeImage& image, HostAddress address) {
    const HostAddress page = address & ~(kPageSize - 1);
    Piece piece;
    if (pieceAt(image, address, &piece)) {
        return {page, static_cast<std::uint32_t>(piece.end - page), true, piece.protection};
    }
    // Not committed up to the next part of the image, or to the end of the image's
    // range, or, outside it, to the image or the top of the address space.
    const std::uint64_t base = image.imageBase;
    const std::uint64_t imageEnd = base + image.mappedSize;
    std::uint64_t end = address < base ? base : address >= imageEnd ? kAddressSpaceEnd : imageEnd;
    for (const ImageSection& section : image.sections) {
        const std::uint64_t begin = base + section.virtualAddress;
        if (begin > address && begin < end && section.mappedSize != 0) end = begin;
    }
    // The platform's region size is 32-bit: an empty 4 GiB stops a page short.
    end = std::min(end, kAddressSpaceEnd - (page == 0 ? kPageSize : 0));
    return {page, static_cast<std::uint32_t>(end - page), false, 0};
}

bool readImage(const PeImage& image, HostAddress address, unsigned char* out, std::uint32_t size) {
    const std::uint64_t end = std::uint64_t{address} + size;
    if (end > kAddressSpaceEnd) return false;
    // Piece by piece: each is looked up once, whatever the size of the read.
    for (std::uint64_t at = address; at < end;) {
        Piece piece;
        if (!pieceAt(image, static_cast<HostAddress>(at), &piece)) return false;
        const std::uint64_t runEnd = std::min(end, piece.end);
        const std::uint64_t first = at - piece.begin;
        const std::uint64_t last = runEnd - piece.begin;
        const std::uint64_t inFile =
            image.file.size() > piece.fileStart ? image.file.size() - piece.fileStart : 0;
        const std::uint64_t fileEnd = std::min({piece.fromFile, inFile, last});
        unsigned char* to = out + (at - address);
        if (first < fileEnd) {
            std::copy(image.file.begin() + static_cast<std::ptrdiff_t>(piece.fileStart + first),
                      image.file.begin() + static_cast<std::ptrdiff_t>(piece.fileStart + fileEnd),
                      to);
        }
        const std::uint64_t zerosFrom = std::max(first, fileEnd);
        std::fill(to + (zerosFrom - first), to + (last - first), 0);
        at = runEnd;
    }
    return true;
}

bool fileRunAt(const PeImage& image, HostAddress address, FileRun* run) {
    Piece piece;
    if (!pieceAt(image, address, &piece)) return false;
    const std::uint64_t inFile = image.file.size() > piece.fileStart ? image.file.size() - piece.fileStart : 0;
    const std::uint64_t held = std::min({piece.fromFile, inFile, piece.end - piece.begin});
    if (address - piece.begin >= held) return false;
    *run = {static_cast<HostAddress>(piece.begin), static_cast<std::uint32_t>(held), piece.fileStart};
    return true;
}

const ImageSection* sectionAt(const PeImage& image, HostAddress address) {
    return sectionHolding(image, address);
}

bool imageCanMove(const PeImage& image) {
    return (image.dllCharacteristics & kDynamicBase) && !(image.characteristics & kRelocationsStripped) &&
           image.relocationsSize != 0;
}

namespace {

constexpr std::uint32_t kManifestType = 24;      // RT_MANIFEST
constexpr std::uint32_t kProcessManifest = 1;    // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr std::uint32_t kSubdirectory = 0x80000000;
constexpr std::uint32_t kResourceTableHeader = 16;
constexpr std::uint32_t kResourceEntrySize = 8;
// Manifests are a few KiB; a larger one is not a manifest worth reading.
constexpr std::uint32_t kLargestManifest = 1u << 20;

// Bytes of the resource directory, at an offset from its start.
bool resourceBytes(const PeImage& image, std::uint32_t offset, std::uint32_t size, unsigned char* out) {
    if (std::uint64_t{offset} + size > image.resourcesSize) return false;
    const std::uint64_t at = std::uint64_t{image.imageBase} + image.resourcesAt + offset;
    return at + size <= kAddressSpaceEnd && readImage(image, static_cast<HostAddress>(at), out, size);
}

std::uint32_t le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) |
           static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The entry of the table at `table` whose id is `id` (any entry when `id` is
// 0); *target is what it points at, with the subdirectory bit as stored.
bool resourceEntry(const PeImage& image, std::uint32_t table, std::uint32_t id, std::uint32_t* target) {
    unsigned char header[kResourceTableHeader];
    if (!resourceBytes(image, table, sizeof header, header)) return false;
    const std::uint32_t named = header[12] | header[13] << 8;
    const std::uint32_t numbered = header[14] | header[15] << 8;
    for (std::uint32_t i = 0; i < named + numbered; ++i) {
        unsigned char entry[kResourceEntrySize];
        const std::uint64_t at = std::uint64_t{table} + kResourceTableHeader + std::uint64_t{i} * kResourceEntrySize;
        if (at > image.resourcesSize || !resourceBytes(image, static_cast<std::uint32_t>(at), sizeof entry, entry)) {
            return false;
        }
        const std::uint32_t name = le32(entry);
        // Named entries come first and never match a numbered id.
        if (id == 0 || (i >= named && name == id)) {
            *target = le32(entry + 4);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string imageManifest(const PeImage& image) {
    if (image.resourcesSize == 0) return {};
    std::uint32_t names = 0;
    std::uint32_t languages = 0;
    std::uint32_t data = 0;
    // Type, then name, then language: two tables, then the data entry.
    if (!resourceEntry(image, 0, kManifestType, &names) || !(names & kSubdirectory)) return {};
    if (!resourceEntry(image, names & ~kSubdirectory, kProcessManifest, &languages) ||
        !(languages & kSubdirectory)) {
        return {};
    }
    if (!resourceEntry(image, languages & ~kSubdirectory, 0, &data) || (data & kSubdirectory)) return {};
    unsigned char entry[8];
    if (!resourceBytes(image, data, sizeof entry, entry)) return {};
    const std::uint32_t at = le32(entry);
    const std::uint32_t size = le32(entry + 4);
    const std::uint64_t address = std::uint64_t{image.imageBase} + at;
    if (size == 0 || size > kLargestManifest || address + size > kAddressSpaceEnd) return {};
    std::string manifest(size, '\0');
    if (!readImage(image, static_cast<HostAddress>(address), reinterpret_cast<unsigned char*>(&manifest[0]), size)) {
        return {};
    }
    return manifest;
}

bool manifestRequestsExecutionLevel(const std::string& manifest) {
    static const std::string kName = "requestedExecutionLevel";
    if (manifest.find(kName) != std::string::npos) return true;
    // A manifest may also be stored as UTF-16.
    std::string wide;
    for (char c : kName) wide += {c, '\0'};
    return manifest.find(wide) != std::string::npos;
}
