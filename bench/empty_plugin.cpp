#include <windows.h>

// No work: what loading a DLL built with these flags costs.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
