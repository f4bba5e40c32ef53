#include "tests/wine/loader_dump.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/wine/wine_host.h"

namespace {

constexpr std::uint32_t kCommitted = 0x1000;  // MEM_COMMIT

struct Reader {
    std::vector<unsigned char> data;
    std::size_t at = 0;
    bool ok = true;

    std::uint32_t u32() {
        if (at + 4 > data.size()) {
            ok = false;
            return 0;
        }
        const std::uint32_t value = data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                    static_cast<std::uint32_t>(data[at + 3]) << 24;
        at += 4;
        return value;
    }
};

}  // namespace

std::vector<int> ImageDump::bytes() const {
    std::vector<int> all;
    for (const DumpRegion& region : regions) {
        for (std::uint32_t i = 0; i < region.size; ++i) all.push_back(region.bytes.empty() ? -1 : region.bytes[i]);
    }
    return all;
}

bool dumpGames(const std::vector<GameToDump>& games, const std::string& listFile) {
    {
        std::ofstream list(listFile, std::ios::binary);
        for (const GameToDump& game : games) {
            list << windowsPath(game.executable) << '\t' << windowsPath(game.dump) << '\n';
        }
    }
    const std::string command = std::string(MENUPATCH_WINE_RUN) + " '" + MENUPATCH_IMAGE_DUMP + "' '" +
                                listFile + "' </dev/null >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ImageDump readImageDump(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    Reader in{std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {})};
    ImageDump dump;
    const std::uint32_t outcome = in.u32();
    dump.code = in.u32();
    dump.module = in.u32();
    if (!in.ok || outcome > 3) return {};
    dump.outcome = static_cast<ImageDump::Outcome>(outcome);
    if (dump.outcome != ImageDump::Outcome::Loaded) return dump;
    const std::uint32_t count = in.u32();
    for (std::uint32_t i = 0; i < count && in.ok; ++i) {
        DumpRegion region;
        region.base = in.u32();
        region.size = in.u32();
        region.committed = in.u32() == kCommitted;
        region.protection = in.u32();
        if (in.u32() == 1 && in.ok && in.at + region.size <= in.data.size()) {
            region.bytes.assign(in.data.begin() + in.at, in.data.begin() + in.at + region.size);
            in.at += region.size;
        }
        dump.regions.push_back(std::move(region));
    }
    if (!in.ok || in.at != in.data.size()) dump.outcome = ImageDump::Outcome::Unreadable;
    return dump;
}

const char* outcomeName(ImageDump::Outcome outcome) {
    switch (outcome) {
        case ImageDump::Outcome::Loaded: return "ran";
        case ImageDump::Outcome::NotStarted: return "not started";
        case ImageDump::Outcome::Exited: return "ended";
        case ImageDump::Outcome::TimedOut: return "timed out";
        default: return "no dump";
    }
}
