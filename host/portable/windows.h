#pragma once

// Outside Windows: just enough of the platform header for the plug-in's logic
// (its entry callback, the page protections) to build natively, in the Linux
// menupatch-check and in the tests against the recording fake.
#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using HINSTANCE = void*;
using LPVOID = void*;

#define WINAPI

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

constexpr DWORD PAGE_NOACCESS = 0x01;
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD PAGE_WRITECOPY = 0x08;
constexpr DWORD PAGE_EXECUTE = 0x10;
constexpr DWORD PAGE_EXECUTE_READ = 0x20;
constexpr DWORD PAGE_EXECUTE_READWRITE = 0x40;
constexpr DWORD PAGE_EXECUTE_WRITECOPY = 0x80;
constexpr DWORD PAGE_GUARD = 0x100;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
