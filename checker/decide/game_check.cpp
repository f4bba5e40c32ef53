#include "checker/decide/game_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "checker/find/paths.h"
#include "checker/system/platform.h"
#include "host/page_access.h"
#include "plugin/attach.h"
#include "plugin/host_builds.h"
#include "plugin/menu_row.h"
#include "plugin/settings_flag.h"

namespace {

constexpr std::uint32_t kRowsSize = sizeof(MenuRowBlock);
constexpr std::uint32_t kRowSize = sizeof(MenuRow);

void readSlots(const HostProfile& build, HostAddress* pageBase, HostAddress* flagAddress) {
    *pageBase = read32(build.pageSlot);
    *flagAddress = read32(build.flagSourceSlot);
}

// The plug-in opens korvan.set by that exact name. Where Wine would open it
// under another case (a Linux folder), the dry run enters a folder of its own
// in the temporary folder that holds korvan.set as a link to the file, and
// removes it afterwards.
struct SettingsLink {
    std::filesystem::path folder;

    // The folder, or false with the reason.
    bool make(const std::string& settingsFolder, const std::string& fileName, std::string* made,
              std::string* why) {
        namespace fs = std::filesystem;
        std::error_code error;
        const std::string as =
            " as " + std::string(kSettingsFileName) + ", the name the plug-in opens";
        const fs::path temporary = fs::temp_directory_path(error);
        if (error) {
            *why = "no temporary folder to link " + fileName + " from" + as + " (" +
                   error.message() + ")";
            return false;
        }
        const fs::path link =
            temporary / ("menupatch-check-" + std::to_string(std::random_device{}()));
        if (fs::create_directory(link, error)) {
            folder = link;
            const fs::path target = fs::absolute(pathOf(settingsFolder) / pathOf(fileName), error);
            if (!error) fs::create_symlink(target, folder / kSettingsFileName, error);
        }
        if (error || folder.empty()) {
            *why = fileName + " could not be linked" + as + ", in " + textOf(link) + " (" +
                   (error ? error.message() : "a folder of that name is there already") + ")";
            return false;
        }
        *made = textOf(folder);
        return true;
    }
    ~SettingsLink() {
        std::error_code error;
        if (!folder.empty()) std::filesystem::remove_all(folder, error);
    }
};

constexpr std::uint32_t kValueSize = 4;

ValueRead valueAt(const HostProfile& build, HostAddress address) {
    if (address == build.pageSlot) return ValueRead::PageSlot;
    if (address == build.flagSourceSlot) return ValueRead::FlagSourceSlot;
    if (address == build.flagDestSlot) return ValueRead::FlagOperand;
    return ValueRead::SignatureProbe;
}

// The values the plug-in read, and the operand, where the file does not hold
// them as they will be in the running game; each once.
std::vector<HiddenValue> hiddenValues(const PeImage& image, const HostProfile& build, bool operandRead) {
    std::vector<HostAddress> reads = valuesRead();
    if (operandRead) reads.push_back(build.flagDestSlot);
    std::vector<HiddenValue> hidden;
    std::vector<HostAddress> seen;
    for (HostAddress address : reads) {
        if (std::find(seen.begin(), seen.end(), address) != seen.end()) continue;
        seen.push_back(address);
        const HeldRange held = fileHolds(image, address, kValueSize);
        const ImageSection* section = held.section != nullptr ? held.section : sectionAt(image, address);
        HiddenValue value = {valueAt(build, address), address, held.held,
                             section != nullptr ? section->name : std::string(), {}, {}, false};
        if (held.held == Held::InFile) {
            value.entropy = entropyAround(image, address, kValueSize);
            // Encrypted and compressed bytes fail both measures: the entropy names them.
            if (!looksPacked(value.entropy) && section != nullptr && sectionRuns(*section)) {
                value.code = codeAround(image, address, kValueSize);
                value.notCode = !looksLikeCode(value.code);
            }
            if (!looksPacked(value.entropy) && !value.notCode) continue;
        }
        hidden.push_back(value);
    }
    return hidden;
}

}  // namespace

const char* buildName(const HostProfile& build) {
    if (&build == &BuildA) return "A";
    if (&build == &BuildB) return "B";
    return "C";
}

const unsigned char* pluginRows() { return reinterpret_cast<const unsigned char*>(&kMenuRowBlock); }

SettingsFile settingsFileIn(const std::string& folder, const std::string& fileName) {
    SettingsFile settings;
    const std::filesystem::path path = pathOf(folder) / pathOf(fileName);
    settings.path = textOf(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return settings;
    std::FILE* file = openToRead(settings.path);
    if (file == nullptr) return settings;
    settings.found = true;
    settings.size = std::filesystem::file_size(path, error);
    if (std::fseek(file, kSettingsFlagOffset, SEEK_SET) == 0 &&
        std::fread(&settings.flagByte, 1, 1, file) == 1) {
        settings.hasFlagByte = true;
    }
    std::fclose(file);
    return settings;
}

FileCheck checkGameFile(const PeImage& image, const SettingsChoice& settings) {
    const GameSource source = {
        [&image](HostAddress address) { return imageRegion(image, address); },
        [&image](HostAddress address, unsigned char* out, std::uint32_t size) {
            return readImage(image, address, out, size);
        }};
    return checkGameFile(source, image, settings);
}

FileCheck checkGameFile(const GameSource& source, const PeImage& image, const SettingsChoice& settings) {
    FileCheck result;
    result.settingsChoice = settings;
    SettingsLink link;
    std::string folder = settings.folder;
    if (settings.fileName != kSettingsFileName &&
        !link.make(settings.folder, settings.fileName, &folder, &result.problem)) {
        return result;
    }
    openGameView(source, folder);

    const HostProfile& build = detectHostBuild();
    result.build = &build;
    result.signature = &build != &BuildC;
    result.slotsRead = checkSlots(build) == HostCheck::Fit;
    if (result.slotsRead) readSlots(build, &result.pageBase, &result.flagAddress);

    // The dry run itself: the plug-in's attach sequence, over the checker's copy.
    result.check = attachToHost(build);

    // What the report shows of the game, read where the source has it; a read
    // there that fails ends the check (viewProblem), whatever it had found.
    HostAddress rows = 0;
    if (result.slotsRead && menuRowsAt(result.pageBase, &rows) &&
        hasAccess(rows, kRowsSize, Access::Readable)) {
        result.rowsBefore.resize(kRowsSize);
        result.rowsAfter.resize(kRowsSize);
        readOriginalThere(rows, result.rowsBefore.data(), kRowsSize);
        readViewedThere(rows, result.rowsAfter.data(), kRowsSize);
    }
    unsigned char before[4];
    unsigned char after[4];
    if (hasAccess(build.flagDestSlot, 4, Access::Committed) && readOriginalThere(build.flagDestSlot, before, 4) &&
        readViewedThere(build.flagDestSlot, after, 4)) {
        result.operandRead = true;
        result.operandBefore = littleEndian32(before);
        result.operandAfter = littleEndian32(after);
    }
    if (result.slotsRead && hasAccess(result.flagAddress, 1, Access::Committed) &&
        readOriginalThere(result.flagAddress, before, 1) && readViewedThere(result.flagAddress, after, 1)) {
        result.flagRead = true;
        result.flagBefore = before[0];
        result.flagAfter = after[0];
    }
    result.changes = writtenRuns();
    result.calls = routineCalls();
    result.problem = viewProblem();
    result.readFailed = viewReadFailed();
    result.hidden = hiddenValues(image, build, result.operandRead);
    closeGameView();
    result.signs = packerSigns(image);

    result.settings = settingsFileIn(settings.folder, settings.fileName);
    result.canMove = imageCanMove(image);
    return result;
}

ProcessCheck checkRunningGame(const GameSource& source) {
    openGameView(source, {});
    ProcessCheck result;
    const HostProfile& build = detectHostBuild();
    result.build = &build;
    result.signature = &build != &BuildC;
    result.slots = checkSlots(build);
    if (result.slots == HostCheck::Fit) {
        readSlots(build, &result.pageBase, &result.flagAddress);
        HostAddress rows = 0;
        if (menuRowsAt(result.pageBase, &rows) && hasAccess(rows, kRowsSize, Access::Readable)) {
            result.rows.resize(kRowsSize);
            // Readable a moment ago; a game that ends meanwhile cannot be told about.
            readOriginalThere(rows, result.rows.data(), kRowsSize);
            for (std::uint32_t row = 0; row < kRowsSize; row += kRowSize) {
                if (std::memcmp(&result.rows[row], pluginRows() + row, kRowSize) == 0) ++result.rowsInPlace;
            }
        }
        if (hasAccess(build.flagDestSlot, 4, Access::Readable)) {
            result.operandRead = true;
            result.operand = read32(build.flagDestSlot);
        }
    }
    const bool operandInPlace = result.operandRead && result.operand == result.flagAddress;
    if (result.rowsInPlace == static_cast<int>(kMenuRowCount) && operandInPlace) {
        result.applied = Applied::Yes;
    } else if (result.rowsInPlace == 0 && !operandInPlace) {
        result.applied = Applied::No;
    } else {
        result.applied = Applied::Partly;
    }
    result.failed = !viewProblem().empty();
    result.readPlace = viewReadPlace();
    closeGameView();
    return result;
}
