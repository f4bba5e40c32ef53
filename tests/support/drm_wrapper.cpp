#include "tests/support/drm_wrapper.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint32_t kExecutes = 0x20000000;
// Code, execute, read and write: the stub keeps its data (the old protection,
// an emptied list of TLS callbacks) beside its code, as wrappers do.
constexpr std::uint32_t kStubSectionFlags = 0xE0000020;
constexpr std::uint16_t kRelocationsStripped = 0x0001;
constexpr std::uint32_t kImportDirectory = 1;
constexpr std::uint32_t kRelocationDirectory = 5;
constexpr std::uint32_t kTlsDirectory = 9;
constexpr unsigned char kPageExecuteReadWrite = 0x40;
constexpr std::uint32_t kDllProcessAttach = 1;

// Where the stub keeps its data, from the start of its section.
constexpr std::uint32_t kStubCodeRoom = 0x100;
constexpr std::uint32_t kOldProtection = kStubCodeRoom;  // VirtualProtect's out value
constexpr std::uint32_t kNoCallbacks = kOldProtection + 4;  // where an empty TLS list is restored to
constexpr std::uint32_t kRanges = kNoCallbacks + 4;  // address, size, key of each section; then 0

struct Section {
    std::size_t header;  // its entry in the section table
    std::uint32_t address;  // from the image base
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawPointer;
    std::uint32_t flags;
};

struct Image {
    std::vector<unsigned char>& file;
    std::size_t optional = 0;
    std::size_t table = 0;
    std::uint32_t imageBase = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t directoryCount = 0;
    std::vector<Section> sections;

    bool has(std::size_t at, std::size_t size) const { return at <= file.size() && size <= file.size() - at; }
    std::uint32_t u16(std::size_t at) const { return has(at, 2) ? file[at] | file[at + 1] << 8 : 0; }
    std::uint32_t u32(std::size_t at) const { return u16(at) | u16(at + 2) << 16; }
    void put32(std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    std::uint32_t directory(std::uint32_t index) const {
        return index < directoryCount ? u32(optional + 96 + 8 * index) : 0;
    }
    // The file offset of an address from the image base; 0 where the file holds none.
    std::size_t offsetOf(std::uint32_t rva) const {
        for (const Section& s : sections) {
            if (rva >= s.address && rva - s.address < s.rawSize && s.rawPointer != 0) return s.rawPointer + (rva - s.address);
        }
        return 0;
    }
    const Section* sectionOf(std::uint32_t rva) const {
        for (const Section& s : sections) {
            if (rva >= s.address && rva - s.address < std::max(s.virtualSize, s.rawSize)) return &s;
        }
        return nullptr;
    }
};

std::uint32_t alignUp(std::uint64_t value, std::uint32_t alignment) {
    return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

bool readImage(Image* image, std::string* why) {
    const std::vector<unsigned char>& f = image->file;
    if (!image->has(0, 64) || f[0] != 'M' || f[1] != 'Z') return *why = "no MZ header", false;
    const std::size_t nt = image->u32(0x3C);
    if (!image->has(nt, 24) || image->u32(nt) != 0x4550 || image->u16(nt + 4) != 0x014C) {
        return *why = "not a PE32 for i386", false;
    }
    image->optional = nt + 24;
    if (!image->has(image->optional, 96) || image->u16(image->optional) != 0x010B) return *why = "not PE32", false;
    image->table = image->optional + image->u16(nt + 20);
    image->imageBase = image->u32(image->optional + 28);
    image->sectionAlignment = image->u32(image->optional + 32);
    image->fileAlignment = image->u32(image->optional + 36);
    if (image->u16(nt + 20) < 96) return *why = "its optional header is too small", false;
    image->directoryCount = std::min<std::uint32_t>(image->u32(image->optional + 92), (image->u16(nt + 20) - 96) / 8);
    const std::uint32_t count = image->u16(nt + 6);
    if (!image->has(image->table, 40 * (count + std::size_t{1}))) return *why = "its section table runs past the file", false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t h = image->table + 40 * i;
        image->sections.push_back({h, image->u32(h + 12), image->u32(h + 8), image->u32(h + 16), image->u32(h + 20),
                                   image->u32(h + 36)});
    }
    // One more entry must fit before the headers end and the first section's data begins.
    std::uint32_t firstData = image->u32(image->optional + 60);
    for (const Section& s : image->sections) {
        if (s.rawSize != 0 && s.rawPointer != 0) firstData = std::min(firstData, s.rawPointer);
    }
    if (image->table + 40 * (count + std::size_t{1}) > firstData) return *why = "no room for one more section header", false;
    return true;
}

// The import address table's slot for KERNEL32's VirtualProtect, as an address; 0 where there is none.
std::uint32_t virtualProtectSlot(const Image& image) {
    const std::uint32_t imports = image.directory(kImportDirectory);
    std::size_t descriptor = imports != 0 ? image.offsetOf(imports) : 0;
    for (; descriptor != 0 && image.has(descriptor, 20) && image.u32(descriptor + 12) != 0; descriptor += 20) {
        const std::size_t name = image.offsetOf(image.u32(descriptor + 12));
        if (name == 0 || !image.has(name, 13) || strncasecmp(reinterpret_cast<const char*>(&image.file[name]), "KERNEL32.dll", 13) != 0) {
            continue;
        }
        const std::uint32_t lookup = image.u32(descriptor) != 0 ? image.u32(descriptor) : image.u32(descriptor + 16);
        const std::size_t entries = image.offsetOf(lookup);
        for (std::uint32_t i = 0; entries != 0 && image.has(entries + 4 * i, 4) && image.u32(entries + 4 * i) != 0; ++i) {
            const std::uint32_t entry = image.u32(entries + 4 * i);
            if (entry & 0x80000000) continue;  // by ordinal
            const std::size_t hint = image.offsetOf(entry);
            if (hint != 0 && image.has(hint + 2, 15) &&
                std::memcmp(&image.file[hint + 2], "VirtualProtect", 15) == 0) {
                return image.imageBase + image.u32(descriptor + 16) + 4 * i;
            }
        }
    }
    return 0;
}

// The keystream of one section: xorshift32, a byte of its state a step.
void crypt(unsigned char* bytes, std::uint32_t size, std::uint32_t key) {
    for (std::uint32_t i = 0; i < size; ++i) {
        key ^= key << 13;
        key ^= key >> 17;
        key ^= key << 5;
        bytes[i] ^= static_cast<unsigned char>(key);
    }
}

struct Code {
    std::vector<unsigned char> bytes;
    void op(std::initializer_list<unsigned char> b) { bytes.insert(bytes.end(), b); }
    void imm(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
    std::size_t here() const { return bytes.size(); }
    // A short jump's displacement to `target`, from the end of the jump at `end`.
    unsigned char to(std::size_t target) const { return static_cast<unsigned char>(target - (here() + 1)); }
};

// The stub: decrypt each range, restore and run the TLS callbacks, jump to the entry.
// `substitute`: each range's third word is its inverse table, not a key.
std::vector<unsigned char> stubCode(std::uint32_t stub, std::uint32_t slot, std::uint32_t callbacks,
                                    std::uint32_t savedCallbacks, std::uint32_t imageBase, std::uint32_t entry,
                                    bool substitute) {
    Code c;
    c.op({0x60});                                   // pushad
    c.op({0xBE}), c.imm(stub + kRanges);            // mov esi, ranges
    const std::size_t next = c.here();
    c.op({0xAD, 0x85, 0xC0});                       // lodsd; test eax, eax
    c.op({0x74, 0x00});                             // jz done (patched below)
    const std::size_t toDone = c.here() - 1;
    c.op({0x89, 0xC7, 0xAD, 0x89, 0xC1, 0xAD, 0x89, 0xC3});  // mov edi, eax; lodsd; mov ecx, eax; lodsd; mov ebx, eax
    c.op({0x51, 0x57});                             // push ecx; push edi: kept for the way back
    c.op({0x68}), c.imm(stub + kOldProtection);     // VirtualProtect(edi, ecx, PAGE_EXECUTE_READWRITE, &old)
    c.op({0x6A, kPageExecuteReadWrite, 0x51, 0x57});
    c.op({0xFF, 0x15}), c.imm(slot);
    c.op({0x8B, 0x3C, 0x24, 0x8B, 0x4C, 0x24, 0x04});  // mov edi, [esp]; mov ecx, [esp + 4]
    const std::size_t decrypt = c.here();
    if (substitute) {
        c.op({0x0F, 0xB6, 0x07, 0x8A, 0x04, 0x03});  // movzx eax, byte [edi]; mov al, [ebx + eax]
        c.op({0x88, 0x07, 0x47});                    // mov [edi], al; inc edi
    } else {
        c.op({0x89, 0xD8, 0xC1, 0xE0, 0x0D, 0x31, 0xC3});  // ebx ^= ebx << 13
        c.op({0x89, 0xD8, 0xC1, 0xE8, 0x11, 0x31, 0xC3});  // ebx ^= ebx >> 17
        c.op({0x89, 0xD8, 0xC1, 0xE0, 0x05, 0x31, 0xC3});  // ebx ^= ebx << 5
        c.op({0x30, 0x1F, 0x47});                       // xor [edi], bl; inc edi
    }
    c.op({0xE2}), c.bytes.push_back(c.to(decrypt));  // loop decrypt
    c.op({0x5F, 0x59});                             // pop edi; pop ecx
    c.op({0x68}), c.imm(stub + kOldProtection);     // VirtualProtect(edi, ecx, old, &old)
    c.op({0xFF, 0x35}), c.imm(stub + kOldProtection);
    c.op({0x51, 0x57});
    c.op({0xFF, 0x15}), c.imm(slot);
    c.op({0xEB}), c.bytes.push_back(c.to(next));    // jmp next
    c.bytes[toDone] = static_cast<unsigned char>(c.here() - (toDone + 1));
    c.op({0xBE}), c.imm(savedCallbacks);            // mov esi, the callbacks as they were
    c.op({0xBF}), c.imm(callbacks);                 // mov edi, the list the loader reads
    const std::size_t tls = c.here();
    c.op({0xAD, 0xAB, 0x85, 0xC0});                 // lodsd; stosd; test eax, eax
    c.op({0x74, 0x00});                             // jz out (patched below)
    const std::size_t toOut = c.here() - 1;
    c.op({0x6A, 0x00, 0x6A, kDllProcessAttach});    // callback(image base, DLL_PROCESS_ATTACH, null)
    c.op({0x68}), c.imm(imageBase);
    c.op({0xFF, 0xD0});                             // call eax
    c.op({0xEB}), c.bytes.push_back(c.to(tls));     // jmp tls
    c.bytes[toOut] = static_cast<unsigned char>(c.here() - (toOut + 1));
    c.op({0x61});                                   // popad
    c.op({0xE9}), c.imm(entry - (stub + static_cast<std::uint32_t>(c.here()) + 4));  // jmp entry
    return c.bytes;
}

}  // namespace

std::vector<unsigned char> substitutionTable() {
    // A fixed shuffle (Fisher-Yates over xorshift32): the same in every run.
    std::vector<unsigned char> table(256);
    for (int v = 0; v < 256; ++v) table[v] = static_cast<unsigned char>(v);
    std::uint32_t state = 0x9E3779B9;
    for (int i = 255; i > 0; --i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        std::swap(table[i], table[state % (i + 1)]);
    }
    return table;
}

bool wrapExecutable(std::vector<unsigned char>* file, const WrapOptions& options, std::string* why) {
    Image image{*file, 0, 0, 0, 0, 0, 0, {}};
    if (!readImage(&image, why)) return false;
    std::uint32_t imageEnd = 0;
    for (const Section& s : image.sections) imageEnd = std::max(imageEnd, s.address + std::max(s.virtualSize, s.rawSize));
    const std::uint32_t stubRva = alignUp(imageEnd, image.sectionAlignment);
    const std::uint32_t stub = image.imageBase + stubRva;
    const std::uint32_t entry = image.imageBase + image.u32(image.optional + 16);

    // The sections that run, encrypted where the file holds them.
    std::vector<std::uint32_t> ranges;
    std::uint32_t key = 0x2545F491;
    for (const Section& s : image.sections) {
        const std::uint32_t size = std::min(s.rawSize, s.virtualSize != 0 ? s.virtualSize : s.rawSize);
        if (!options.encrypt || !(s.flags & kExecutes) || size == 0 || s.rawPointer == 0 || !image.has(s.rawPointer, size)) continue;
        key = (key * 2654435761u) | 1;  // never 0, which xorshift keeps
        if (options.substitute) {
            const std::vector<unsigned char> table = substitutionTable();
            for (std::uint32_t i = 0; i < size; ++i) (*file)[s.rawPointer + i] = table[(*file)[s.rawPointer + i]];
        } else {
            crypt(&(*file)[s.rawPointer], size, key);
        }
        ranges.insert(ranges.end(), {image.imageBase + s.address, size, key});
    }
    ranges.push_back(0);

    // TLS callbacks live in the code: the loader must find none, the stub runs them.
    std::uint32_t callbacks = stub + kNoCallbacks;
    std::vector<std::uint32_t> saved;
    const std::size_t tls = image.directory(kTlsDirectory) != 0 ? image.offsetOf(image.directory(kTlsDirectory)) : 0;
    if (tls != 0 && image.has(tls, 16) && image.u32(tls + 12) != 0) {
        const std::uint32_t list = image.u32(tls + 12);
        const Section* holder = image.sectionOf(list - image.imageBase);
        const std::size_t at = image.offsetOf(list - image.imageBase);
        if (at != 0 && holder != nullptr && !(holder->flags & kExecutes)) {
            callbacks = list;
            for (std::size_t i = at; image.has(i, 4) && image.u32(i) != 0; i += 4) saved.push_back(image.u32(i));
            image.put32(at, 0);
        }
    }
    saved.push_back(0);

    const std::uint32_t savedAt = stub + kRanges + 4 * static_cast<std::uint32_t>(ranges.size());
    // The inverse table after the saved callbacks, named by each range.
    const std::uint32_t inverseAt = savedAt + 4 * static_cast<std::uint32_t>(saved.size());
    if (options.substitute) {
        for (std::size_t i = 2; i < ranges.size(); i += 3) ranges[i] = inverseAt;
    }
    std::vector<unsigned char> section = stubCode(stub, virtualProtectSlot(image), callbacks, savedAt,
                                                  image.imageBase, entry, options.substitute);
    if (section.size() > kStubCodeRoom) return *why = "the stub outgrew its room", false;
    section.resize(kRanges, 0xCC);
    std::fill(section.begin() + kOldProtection, section.end(), 0);
    for (const std::vector<std::uint32_t>* words : {&ranges, &saved}) {
        for (std::uint32_t word : *words) {
            for (int i = 0; i < 4; ++i) section.push_back(static_cast<unsigned char>(word >> (8 * i)));
        }
    }
    if (options.substitute) {
        const std::vector<unsigned char> table = substitutionTable();
        std::vector<unsigned char> inverse(256);
        for (int v = 0; v < 256; ++v) inverse[table[v]] = static_cast<unsigned char>(v);
        section.insert(section.end(), inverse.begin(), inverse.end());
    }

    // The stub's section after the last, its data at the end of the file.
    const std::uint32_t virtualSize = static_cast<std::uint32_t>(section.size());
    const std::uint32_t rawPointer = alignUp(file->size(), image.fileAlignment);
    const std::uint32_t rawSize = alignUp(virtualSize, image.fileAlignment);
    const std::size_t header = image.table + 40 * image.sections.size();
    file->resize(rawPointer, 0);
    section.resize(rawSize, 0);
    file->insert(file->end(), section.begin(), section.end());
    std::memcpy(&(*file)[header], ".bind\0\0\0", 8);
    image.put32(header + 8, virtualSize);
    image.put32(header + 12, stubRva);
    image.put32(header + 16, rawSize);
    image.put32(header + 20, rawPointer);
    image.put32(header + 36, kStubSectionFlags);
    const std::size_t nt = image.optional - 24;
    (*file)[nt + 6] = static_cast<unsigned char>(image.sections.size() + 1);
    (*file)[nt + 7] = static_cast<unsigned char>((image.sections.size() + 1) >> 8);
    image.put32(image.optional + 16, stubRva);
    image.put32(image.optional + 56, alignUp(std::uint64_t{stubRva} + virtualSize, image.sectionAlignment));
    // Fixed at its base: the loader must not relocate the encrypted code.
    (*file)[nt + 22] |= kRelocationsStripped;
    if (image.directoryCount > kRelocationDirectory) {
        image.put32(image.optional + 96 + 8 * kRelocationDirectory, 0);
        image.put32(image.optional + 96 + 8 * kRelocationDirectory + 4, 0);
    }
    return true;
}
