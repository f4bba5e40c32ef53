// The measure of x86 code at its edges: the share of odd instructions at each
// window's threshold and a step past it, filler at three quarters of a window
// and one byte more, and what is never judged.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checker/read/code_measure.h"

namespace {

constexpr unsigned char kHlt = 0xF4;  // a compiler never emits it
constexpr unsigned char kInt3 = 0xCC;

// `size` one-byte instructions that compilers emit (push eax, ecx, edx, ebx in
// turn: no two alike side by side), `odd` of them hlt, spread out.
std::vector<unsigned char> pushes(std::uint32_t size, std::uint32_t odd) {
    std::vector<unsigned char> bytes(size);
    for (std::uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(0x50 + i % 4);
    for (std::uint32_t i = 0; i < odd; ++i) bytes[1 + i * (size / (odd + 1))] = kHlt;
    return bytes;
}

// `filler` bytes of int3 padding, then one-byte instructions to `size`.
std::vector<unsigned char> padded(std::uint32_t size, std::uint32_t filler) {
    std::vector<unsigned char> bytes = pushes(size, 0);
    std::fill(bytes.begin(), bytes.begin() + filler, kInt3);
    return bytes;
}

TEST(CodeMeasure, EachEdge) {
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        std::uint32_t odd;
        std::uint32_t filler;
        bool code;
    };
    const Case kCases[] = {
        // 3% from 2 KiB up: 61 of 2048 is 2.98%, 62 is 3.03%.
        {"AtTheEdge_2048", pushes(2048, 61), 61, 0, true},
        {"OneStepPast_2048", pushes(2048, 62), 62, 0, false},
        {"OneStepPast_4096", pushes(4096, 123), 123, 0, false},
        // 4.5% from 1 KiB: 46 of 1024 is 4.49%, 47 is 4.59%.
        {"AtTheEdge_1024", pushes(1024, 46), 46, 0, true},
        {"OneStepPast_1024", pushes(1024, 47), 47, 0, false},
        // Under 1 KiB the share says too little: only filler is judged.
        {"ShareNotJudged_1023", pushes(1023, 300), 300, 0, true},
        // Filler: up to three quarters of the window is padding between functions.
        {"ThreeQuartersFiller_256", padded(256, 192), 0, 192, true},
        {"OneByteMoreFiller_256", padded(256, 193), 0, 193, false},
        {"Zeros_4096", std::vector<unsigned char>(4096, 0), 0, 4096, false},
        {"OneValue_FF_4096", std::vector<unsigned char>(4096, 0xFF), 0, 4096, false},
        {"Int3_1024", std::vector<unsigned char>(1024, kInt3), 0, 1024, false},
        // A run of three alike is not filler; of four it is.
        {"ThreeAlike", {0x90, 0x90, 0x90, 0x50, 0x51}, 0, 0, true},
        {"FourAlike", {0x90, 0x90, 0x90, 0x90, 0x50}, 0, 4, true},
        // Under 256 bytes nothing is judged at all.
        {"Zeros_254", std::vector<unsigned char>(254, 0), 0, 254, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const CodeMeasure measure = measureCode(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()));
        EXPECT_EQ(measure.window, c.bytes.size());
        EXPECT_EQ(measure.odd, c.odd);
        EXPECT_EQ(measure.filler, c.filler);
        EXPECT_EQ(looksLikeCode(measure), c.code) << measure.oddPercent() << "% odd";
    }
    const std::pair<std::uint32_t, double> kThresholds[] = {{1023, 100}, {1024, 4.5}, {2047, 4.5}, {2048, 3.0}, {4096, 3.0}};
    for (const auto& [window, percent] : kThresholds) EXPECT_DOUBLE_EQ(oddPercentFor(window), percent) << window;
}

// What compilers never emit, each one odd; what they do, none.
TEST(CodeMeasure, OddInstructions) {
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        std::uint32_t odd;
    };
    const Case kCases[] = {
        {"InAndOut", {0xE4, 0x60, 0xEC, 0xE6, 0x60, 0xEE}, 4},
        {"FarCallJumpAndReturn", {0x9A, 0, 0, 0, 0, 0x08, 0, 0xEA, 0, 0, 0, 0, 0x08, 0, 0xCB}, 3},
        {"Decimal", {0x27, 0x2F, 0x37, 0x3F, 0xD4, 0x0A}, 5},
        {"SystemAndInterrupts", {0xFA, 0xFB, 0xF4, 0xCD, 0x21, 0xCE, 0xCF}, 6},
        {"SegmentLoads", {0xC5, 0x00, 0x0F, 0xB2, 0x00}, 2},
        {"LoopsAndOldOnes", {0xE2, 0x00, 0xE3, 0x00, 0x63, 0xC0, 0xD7, 0xD6}, 5},
        // 0F 04 starts no instruction; ud2 (0F 0B) is gcc's trap, and compiled.
        {"NoInstruction", {0x0F, 0x04, 0x90, 0x0F, 0x0B}, 1},
        // push and pop of a segment register stand in tables of small numbers: not odd.
        {"SegmentPushAndPop", {0x06, 0x07, 0x1E, 0x1F}, 0},
        {"Compiled", {0x55, 0x89, 0xE5, 0x53, 0x83, 0xEC, 0x14, 0x8B, 0x45, 0x08, 0xE8, 0, 0, 0, 0, 0x85, 0xC0,
                      0x74, 0x02, 0x31, 0xC0, 0x83, 0xC4, 0x14, 0x5B, 0x5D, 0xC3, 0xCC, 0x64, 0xA1, 0, 0, 0, 0},
         0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(measureCode(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())).odd, c.odd);
    }
}

}  // namespace
