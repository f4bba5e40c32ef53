// menupatch-check: does the plug-in apply to this game, and did it apply?
// The command line comes in as UTF-16, so that any folder name reaches it whole.

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/system/platform.h"
#include "checker/find/virtual_store.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int length = static_cast<int>(std::wcslen(argv[i]));
        const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], length, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 0 ? size : 0, '\0');
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], length, &arg[0], size, nullptr, nullptr);
        args.push_back(arg);
    }
    std::string out;
    std::string err;
    const int status = runChecker(args, systemVirtualStore(), systemProcesses(), &out, &err);
    writeOut(out);
    writeErr(err);
    holdOwnConsoleWindow();
    return status;
}
