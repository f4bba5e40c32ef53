#include <windows.h>

// The same toolchain, runtime and flags as the plug-in, and no work: what
// loading any such DLL costs.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
