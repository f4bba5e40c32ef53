#pragma once

// An executable wrapped as a store's DRM wrapper wraps a game: its sections
// that run are encrypted in the file, and a stub in a section of its own
// (".bind"), which holds the entry point, restores them when the program
// starts. The stub makes each section writable with VirtualProtect (through
// the program's own import of it), decrypts it, gives it back its protection,
// runs the TLS callbacks that the loader found no longer listed (they are in
// the encrypted code), and jumps to the original entry point.
//
// The stub runs in a 32-bit program that imports VirtualProtect from
// KERNEL32.dll and is loaded at its base (the wrapper strips its relocations);
// in any other it is written all the same, for tests that only read the file.

#include <string>
#include <vector>

struct WrapOptions {
    bool encrypt = true;  // false: the stub and its entry point over code left plain
    // With encrypt: each byte replaced by another through one table (a
    // permutation the stub inverts), instead of a keystream: bytes with the
    // entropy of code that are no code.
    bool substitute = false;
};

// The table a substituting wrapper replaces each byte through.
std::vector<unsigned char> substitutionTable();

// False, with the reason, where the file is not a PE32 with room in its
// headers for one more section.
bool wrapExecutable(std::vector<unsigned char>* file, const WrapOptions& options, std::string* why);
