#!/usr/bin/env python3
"""Writes checker/case_folding.cpp: Unicode's simple case folding (CaseFolding.txt,
statuses C and S) for the Unicode version of the Python that runs it, as runs of
code points that fold by the same distance. File names compare through it."""
import sys
import unicodedata

fold = {}
for point in range(0x110000):
    char = chr(point)
    full = char.casefold()
    if len(full) == 1:
        if full != char:
            fold[point] = ord(full)           # C: the full folding is one character
    else:
        lower = char.lower()
        if len(lower) == 1 and lower != char:
            fold[point] = ord(lower)          # S: the simple one beside a full (F) folding

items = sorted(fold.items())
runs = []
i = 0
while i < len(items):
    first, target = items[i]
    delta = target - first
    ends = {}
    for stride in (1, 2):
        j = i
        while j + 1 < len(items) and items[j + 1][0] == items[j][0] + stride and \
                items[j + 1][1] - items[j + 1][0] == delta:
            j += 1
        ends[stride] = j
    stride = 1 if ends[1] >= ends[2] else 2
    runs.append((first, items[ends[stride]][0], delta, stride))
    i = ends[stride] + 1

out = sys.stdout
out.write(f"""// Written by scripts/case-folding-table.py from Unicode {unicodedata.unidata_version}; do not edit.
// Simple case folding (CaseFolding.txt, statuses C and S): every `stride`-th code
// point from `first` to `last` folds to itself plus `delta`.

#include "checker/text.h"

#include <algorithm>
#include <cstdint>

namespace {{

struct FoldRun {{
    char32_t first;
    char32_t last;
    std::int32_t delta;
    std::uint8_t stride;
}};

constexpr FoldRun kFoldRuns[] = {{
""")
for first, last, delta, stride in runs:
    out.write(f"    {{0x{first:04X}, 0x{last:04X}, {delta}, {stride}}},\n")
out.write("""};

}  // namespace

char32_t simpleCaseFold(char32_t point) {
    const auto after = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), point,
                                        [](char32_t p, const FoldRun& run) { return p < run.first; });
    if (after == std::begin(kFoldRuns)) return point;
    const FoldRun& run = *(after - 1);
    if (point > run.last || (point - run.first) % run.stride != 0) return point;
    return static_cast<char32_t>(static_cast<std::int64_t>(point) + run.delta);
}
""")
