// libFuzzer target: any bytes as a file dragged onto the checker that may be a
// shortcut. Reading one must stay inside its bytes whatever its offsets and
// lengths say.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "checker/shortcut.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> file(data, data + size);
    switch (shortcutKind(file)) {
        case ShortcutKind::ShellLink: readShellLink(file); break;
        case ShortcutKind::InternetShortcut: internetShortcutUrl(file); break;
        case ShortcutKind::None: break;
    }
    return 0;
}
