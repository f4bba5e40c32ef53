// A plug-in with the one fault the host's stack check is there for: it calls
// build A's string routine as if the routine removed its own argument
// (stdcall), so the slot it thinks free is still the argument's. The tests
// load it to see the check catch it, under Wine natively and under emulation.

#include <windows.h>

#include "plugin/host_profile.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        reinterpret_cast<void(__cdecl*)()>(BuildA.enterSettingsDirRoutine)();
        reinterpret_cast<void(__stdcall*)(const char*)>(BuildA.setDirRoutine)("");
        // Anything pushed now lands in the argument's slot, or below it.
        GetTickCount();
    }
    return TRUE;
}
