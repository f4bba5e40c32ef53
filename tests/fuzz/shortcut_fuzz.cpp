// libFuzzer target: any bytes as a file dragged onto the checker that may be a
// shortcut. Reading one must stay inside its bytes whatever its offsets and
// lengths say.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "checker/read/shortcut.h"

namespace {

std::string asItIs(const std::string& bytes) { return bytes; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> file(data, data + size);
    switch (shortcutKind(file)) {
        case ShortcutKind::ShellLink: readShellLink(file, asItIs); break;
        case ShortcutKind::InternetShortcut: internetShortcutUrl(file); break;
        case ShortcutKind::None: break;
    }
    return 0;
}
