#include "checker/read/code_measure.h"

#include <Zydis/Zydis.h>

#include <cstring>

namespace {

// A run of at least this many identical instructions is filler.
constexpr std::uint32_t kFillerRun = 4;

// Instructions a compiler emits in no program of ours: they belong to kernels,
// to 16-bit code and to hand-written tricks.
bool neverCompiled(const ZydisDecodedInstruction& instruction) {
    switch (instruction.meta.category) {
        case ZYDIS_CATEGORY_SYSTEM:
        case ZYDIS_CATEGORY_IO:
        case ZYDIS_CATEGORY_IOSTRINGOP:
        case ZYDIS_CATEGORY_DECIMAL:
        case ZYDIS_CATEGORY_AMD3DNOW:
            return true;
        case ZYDIS_CATEGORY_SEGOP:
            // Segment loads (lds, les, ...); a push or pop of a segment register
            // is the bytes 06, 07, 0E, 16, 17, 1E, 1F, which tables of small
            // numbers in a code section hold.
            return instruction.mnemonic != ZYDIS_MNEMONIC_PUSH && instruction.mnemonic != ZYDIS_MNEMONIC_POP;
        case ZYDIS_CATEGORY_INTERRUPT:
            return instruction.mnemonic != ZYDIS_MNEMONIC_INT3;
        default:
            break;
    }
    switch (instruction.mnemonic) {
        case ZYDIS_MNEMONIC_ARPL:
        case ZYDIS_MNEMONIC_BOUND:
        case ZYDIS_MNEMONIC_SALC:
        case ZYDIS_MNEMONIC_XLAT:
        case ZYDIS_MNEMONIC_HLT:
        case ZYDIS_MNEMONIC_CLI:
        case ZYDIS_MNEMONIC_STI:
        case ZYDIS_MNEMONIC_LOOP:
        case ZYDIS_MNEMONIC_LOOPE:
        case ZYDIS_MNEMONIC_LOOPNE:
        case ZYDIS_MNEMONIC_JCXZ:
        case ZYDIS_MNEMONIC_JECXZ:
        case ZYDIS_MNEMONIC_IRET:
        case ZYDIS_MNEMONIC_IRETD:
            return true;
        default:
            break;
    }
    return instruction.meta.branch_type == ZYDIS_BRANCH_TYPE_FAR ||
           (instruction.attributes & ZYDIS_ATTRIB_IS_PRIVILEGED) != 0;
}

}  // namespace

CodeMeasure measureCode(const unsigned char* bytes, std::uint32_t size) {
    ZydisDecoder decoder;
    ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
    CodeMeasure measure;
    measure.window = size;
    // The current run of one repeated instruction: where it began, its
    // instruction's length, how many, and how many of them were odd.
    std::uint32_t runAt = 0;
    std::uint32_t runLength = 0;
    std::uint32_t runCount = 0;
    std::uint32_t runOdd = 0;
    const auto endRun = [&] {
        if (runCount >= kFillerRun) {
            measure.filler += runLength * runCount;
        } else {
            measure.instructions += runCount;
            measure.odd += runOdd;
        }
    };
    for (std::uint32_t at = 0; at < size;) {
        ZydisDecodedInstruction instruction;
        const bool decoded =
            ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&decoder, nullptr, bytes + at, size - at, &instruction));
        // A byte that starts no instruction counts as one odd one.
        const std::uint32_t length = decoded ? instruction.length : 1;
        const bool odd = !decoded || neverCompiled(instruction);
        if (runCount != 0 && length == runLength && std::memcmp(bytes + runAt, bytes + at, length) == 0) {
            ++runCount;
            runOdd += odd;
        } else {
            endRun();
            runAt = at;
            runLength = length;
            runCount = 1;
            runOdd = odd;
        }
        at += length;
    }
    endRun();
    return measure;
}

double oddPercentFor(std::uint32_t window) {
    // Between the most that plain code of each compiler reaches and the least
    // that substituted, encrypted and compressed bytes do, for windows of each
    // size (measured by bench/code_survey.cpp; figures in docs/development.md).
    struct Threshold {
        std::uint32_t window;
        double percent;
    };
    constexpr Threshold kThresholds[] = {{2048, 3.0}, {1024, 4.5}};
    for (const Threshold& threshold : kThresholds) {
        if (window >= threshold.window) return threshold.percent;
    }
    return 100;  // too few instructions to tell: nothing is odd enough
}

bool looksLikeCode(const CodeMeasure& measure) {
    // Too few bytes to tell anything, as they are taken.
    if (measure.window < kFewestJudged) return true;
    // Zeros, or one value repeated over most of it: no code at all.
    if (std::uint64_t{measure.filler} * 4 > std::uint64_t{measure.window} * 3) return false;
    return measure.oddPercent() <= oddPercentFor(measure.window);
}
