#include "substitute_host/caller_stack.h"

#include <windows.h>

#include <cstdint>

extern "C" {
StringRoutine gFollowedRoutine = nullptr;
std::uintptr_t gRoutineEntryStack = 0;  // where the return address lay
void stringRoutineThunk();
}

namespace {

constexpr DWORD kTrapFlag = 0x100;

std::uintptr_t gCallerBegin = 0;
std::uintptr_t gCallerEnd = 0;
std::uintptr_t gLowestStack = 0;
bool gFollowing = false;
bool gVectoredHandlerAdded = false;

// Whether the exception is the trap of one step. Under QEMU's user-mode
// emulation the signal carries no trap number, so Wine reports the step as a
// breakpoint and moves Eip back over an int3 that is not there; the exception's
// address is still where the step landed. A true int3 leaves the two equal.
bool isStep(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    CONTEXT* context = exception->ContextRecord;
    if (record->ExceptionCode == EXCEPTION_SINGLE_STEP) return true;
    const auto landed = reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
    if (record->ExceptionCode != EXCEPTION_BREAKPOINT || landed != context->Eip + 1) return false;
    context->Eip = landed;
    return true;
}

// Each step: note the stack pointer; go on while the caller's module runs.
LONG WINAPI stepCaller(EXCEPTION_POINTERS* exception) {
    if (!gFollowing || !isStep(exception)) return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* context = exception->ContextRecord;
    if (context->Esp < gLowestStack) gLowestStack = context->Esp;
    if (context->Eip >= gCallerBegin && context->Eip < gCallerEnd) {
        context->EFlags |= kTrapFlag;
    } else {
        // Cleared by hand: Wine leaves the flag set in a step it took for a breakpoint.
        context->EFlags &= ~kTrapFlag;
        gFollowing = false;
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The module that holds the return address, from its own headers.
void findCaller(std::uintptr_t returnAddress) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(returnAddress), &module);
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    gCallerBegin = base;
    gCallerEnd = base + nt->OptionalHeader.SizeOfImage;
}

}  // namespace

extern "C" void __cdecl beforeFollowing() {
    findCaller(*reinterpret_cast<const std::uintptr_t*>(gRoutineEntryStack));
    // After the routine's ret the stack pointer is just above the return address.
    gLowestStack = gRoutineEntryStack + 4;
    gFollowing = true;
}

// Called like the game's routine; the trap flag set just before its ret makes
// the first step land on the caller's next instruction.
asm(R"(
    .text
    .globl _stringRoutineThunk
_stringRoutineThunk:
    movl %esp, _gRoutineEntryStack
    pushl 4(%esp)
    call *_gFollowedRoutine
    addl $4, %esp
    call _beforeFollowing
    pushfl
    orl $0x100, (%esp)
    popfl
    ret
)");

void* routineFollowingCaller(StringRoutine routine) {
    if (!gVectoredHandlerAdded) {
        AddVectoredExceptionHandler(1, stepCaller);
        gVectoredHandlerAdded = true;
    }
    gFollowedRoutine = routine;
    return reinterpret_cast<void*>(stringRoutineThunk);
}

bool callerKeptArgumentSlot() { return gLowestStack >= gRoutineEntryStack + 4; }
