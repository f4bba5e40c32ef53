#include "checker/decide/game_view.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "checker/find/paths.h"
#include "text/text.h"

namespace {

constexpr std::uint32_t kPageSize = 0x1000;

struct View {
    GameSource source;
    std::string settingsFolder;
    std::filesystem::path returnFolder;
    std::map<HostAddress, unsigned char> written;   // the checker's copy of every byte written
    std::map<HostAddress, std::uint32_t> protections;  // by page, as the plug-in set them
    std::vector<RoutineCall> calls;
    std::vector<HostAddress> valuesRead;
    std::string problem;  // the first thing that went wrong
    bool readFailed = false;
    std::string readPlace;
};

View& view() {
    static View instance;
    return instance;
}

HostAddress pageOf(HostAddress address) { return address & ~(kPageSize - 1); }

void fail(const std::string& problem) {
    if (view().problem.empty()) view().problem = problem;
}

bool readFailedAt(HostAddress address, std::uint32_t size) {
    if (view().problem.empty()) {
        view().readFailed = true;
        view().readPlace = textf("%u byte%s at %s", size, size == 1 ? "" : "s", hexNumber(address, 6).c_str());
    }
    fail("the game's memory could not be read (" + view().readPlace + ")");
    return false;
}

void readOrFail(HostAddress address, std::uint32_t size, unsigned char* out) {
    if (!readViewed(address, out, size)) readFailedAt(address, size);
}

void write(HostAddress address, const unsigned char* bytes, std::uint32_t size) {
    for (std::uint32_t i = 0; i < size; ++i) view().written[address + i] = bytes[i];
}

}  // namespace

void openGameView(const GameSource& source, const std::string& settingsFolder) {
    view() = View{};
    view().source = source;
    view().settingsFolder = settingsFolder;
}

void closeGameView() { view() = View{}; }

bool readOriginal(HostAddress address, unsigned char* out, std::uint32_t size) {
    return view().source.read(address, out, size);
}

bool readViewed(HostAddress address, unsigned char* out, std::uint32_t size) {
    if (!readOriginal(address, out, size)) return false;
    for (std::uint32_t i = 0; i < size; ++i) {
        const auto byte = view().written.find(address + i);
        if (byte != view().written.end()) out[i] = byte->second;
    }
    return true;
}

bool readOriginalThere(HostAddress address, unsigned char* out, std::uint32_t size) {
    return readOriginal(address, out, size) || readFailedAt(address, size);
}

bool readViewedThere(HostAddress address, unsigned char* out, std::uint32_t size) {
    return readViewed(address, out, size) || readFailedAt(address, size);
}

std::vector<WrittenRun> writtenRuns() {
    std::vector<WrittenRun> runs;
    for (const auto& [address, value] : view().written) {
        if (runs.empty() || runs.back().address + runs.back().after.size() != address) {
            runs.push_back({address, {}, {}});
        }
        unsigned char before = 0;
        readOriginalThere(address, &before, 1);
        runs.back().before.push_back(before);
        runs.back().after.push_back(value);
    }
    // The C library is handed the flag byte to read into; when it reads
    // nothing, or what was there, nothing changed.
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [](const WrittenRun& run) { return run.before == run.after; }),
               runs.end());
    return runs;
}

const std::vector<RoutineCall>& routineCalls() { return view().calls; }

const std::vector<HostAddress>& valuesRead() { return view().valuesRead; }

std::uint32_t littleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) |
           static_cast<std::uint32_t>(bytes[3]) << 24;
}

const std::string& viewProblem() { return view().problem; }

bool viewReadFailed() { return view().readFailed; }

const std::string& viewReadPlace() { return view().readPlace; }

// The host operations, answered from the view.

HostRegion queryRegion(HostAddress address) {
    HostRegion region = view().source.queryRegion(address);
    const auto& protections = view().protections;
    const auto own = protections.find(pageOf(address));
    if (own != protections.end() && region.committed) {
        return {pageOf(address), kPageSize, true, own->second};
    }
    // A page the plug-in changed ends the source's region before it.
    const auto next = protections.upper_bound(pageOf(address));
    const std::uint64_t end = std::uint64_t{region.base} + region.size;
    if (next != protections.end() && next->first < end) region.size = next->first - region.base;
    return region;
}

std::uint32_t read32(HostAddress address) {
    view().valuesRead.push_back(address);
    unsigned char bytes[4] = {};
    readOrFail(address, 4, bytes);
    return littleEndian32(bytes);
}

void writeBytes(HostAddress address, const unsigned char* bytes, std::uint32_t size) {
    write(address, bytes, size);
}

bool protect(HostAddress address, std::uint32_t size, std::uint32_t newProtection,
             std::uint32_t* previous) {
    const std::uint64_t end = std::uint64_t{address} + size;
    for (std::uint64_t page = pageOf(address); page < end; page += kPageSize) {
        if (!queryRegion(static_cast<HostAddress>(page)).committed) return false;
    }
    *previous = queryRegion(address).protection;
    for (std::uint64_t page = pageOf(address); page < end; page += kPageSize) {
        view().protections[static_cast<HostAddress>(page)] = newProtection;
    }
    return true;
}

void write32(HostAddress address, std::uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    write(address, bytes, 4);
}

void callNoArgs(HostAddress routine) {
    view().calls.push_back({routine, false, {}});
    std::error_code error;
    view().returnFolder = std::filesystem::current_path(error);
    std::filesystem::current_path(pathOf(view().settingsFolder), error);
    if (error) fail("the settings folder could not be entered (" + error.message() + ")");
}

void callWithString(HostAddress routine, const char* text) {
    view().calls.push_back({routine, true, text});
    std::error_code error;
    if (!view().returnFolder.empty()) std::filesystem::current_path(view().returnFolder, error);
}

unsigned char* hostByte(HostAddress address) {
    auto byte = view().written.find(address);
    if (byte == view().written.end()) {
        unsigned char value = 0;
        readOrFail(address, 1, &value);
        byte = view().written.emplace(address, value).first;
    }
    return &byte->second;
}
