#pragma once

// Whether bytes are plain 32-bit x86 code as compilers emit it, decoded by
// Zydis: a wrapper may leave a game's code as zeros in the file, or substitute
// its bytes one for one, and restore it when the game starts; neither looks
// random, so entropy alone does not see them. Decoded from the window's first
// byte on, code holds next to none of the instructions compilers never emit
// (input and output, privileged, far and decimal ones, segment loads) and few
// bytes that decode as nothing; bytes of other kinds hold many. Runs of one
// repeated instruction (padding between functions: int3, nop, zeros) are left
// out, and a window that holds little else is no code at all.

#include <cstdint>

struct CodeMeasure {
    std::uint32_t window = 0;        // bytes measured
    std::uint32_t filler = 0;        // bytes in runs of one repeated instruction
    std::uint32_t instructions = 0;  // decoded outside those runs, odd ones included
    std::uint32_t odd = 0;           // of those: never in compiled code, or no instruction at all

    // Per cent of the instructions outside the runs that are odd.
    double oddPercent() const { return instructions == 0 ? 0 : 100.0 * odd / instructions; }
};

CodeMeasure measureCode(const unsigned char* bytes, std::uint32_t size);

// Windows of fewer bytes are not judged at all.
constexpr std::uint32_t kFewestJudged = 256;

// Above this share of odd instructions, a window of this size is not plain
// code; below 1 KiB the share says too little, and only filler is judged.
double oddPercentFor(std::uint32_t window);

// Whether the window is plain code: no more than three quarters of it in runs
// of filler, and few odd instructions outside them.
bool looksLikeCode(const CodeMeasure& measure);
