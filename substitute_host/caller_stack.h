#pragma once

// The game's routines are cdecl: the caller removes the arguments. A caller
// that thinks the routine removed them finds its stack pointer off by the
// argument's size once the routine returns; a frame pointer can hide that, so
// this watches the stack itself.

using StringRoutine = void(__cdecl*)(const char*);

// A routine to jump to from the game's address: it runs `routine` and, when it
// returns, steps through its caller until control leaves the caller's module.
void* routineFollowingCaller(StringRoutine routine);

// Whether the caller of the last call left the argument's slot alone: true for
// a cdecl caller; false for one that pushed into the slot as if it were free.
bool callerKeptArgumentSlot();
