// libFuzzer target: any bytes as a game's executable. The reader must refuse
// or accept them without reading out of bounds; an accepted image then goes
// through everything the checker does with one: the plug-in's dry run, and the
// report in both forms.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "checker/decide/game_check.h"
#include "checker/read/pe_image.h"
#include "checker/tell/report.h"

namespace {

// A folder of the fuzzer's own with no settings file in it.
const std::string& settingsFolder() {
    static const std::string folder = [] {
        const auto path = std::filesystem::temp_directory_path() / "menupatch-fuzz-settings";
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PeImage image;
    if (readPeImage(std::vector<unsigned char>(data, data + size), &image).problem != ImageProblem::None) {
        return 0;
    }
    const FileCheck check = checkGameFile(image, settingsFolderAsIs(settingsFolder()));
    fileReport("fuzz.exe", image, check);
    fileJson("fuzz.exe", image, check);
    manifestRequestsExecutionLevel(imageManifest(image));
    return 0;
}
