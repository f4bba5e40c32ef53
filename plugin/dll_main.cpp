#include <windows.h>

#include "plugin/attach.h"
#include "plugin/host_builds.h"

// All the work is done once, at process attach; loading never fails on our account.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) attachToHost(detectHostBuild());
    return TRUE;
}
