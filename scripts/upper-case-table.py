#!/usr/bin/env python3
"""Writes text/upper_case.cpp: the upper case of every UTF-16 unit as Windows
and Wine compare file names, from Wine's own answer. Make that answer with
`scripts/wine-run.sh build/windows/name_rules.exe upper UPPER.BIN`, then
`scripts/upper-case-table.py UPPER.BIN > text/upper_case.cpp`. The tests hold
the table to Wine again on every run."""
import os
import struct
import subprocess
import sys

data = open(sys.argv[1], "rb").read()
if len(data) != 0x20000:
    sys.exit("expected 65536 little-endian units")
upper = struct.unpack("<65536H", data)
wine_run = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine-run.sh")
wine = subprocess.run([wine_run, "--version"], capture_output=True, text=True).stdout.strip() or "Wine"

items = [(unit, upper[unit]) for unit in range(0x10000) if upper[unit] != unit]
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
out.write(f"""// Written by scripts/upper-case-table.py from {wine}'s RtlUpcaseUnicodeChar; do not edit.
// Every `stride`-th UTF-16 unit from `first` to `last` upper-cases to itself plus
// `delta`; every other unit is its own upper case.

#include "text/text.h"

#include <algorithm>
#include <cstdint>

namespace {{

struct UpperRun {{
    char16_t first;
    char16_t last;
    std::int32_t delta;
    std::uint8_t stride;
}};

constexpr UpperRun kUpperRuns[] = {{
""")
for first, last, delta, stride in runs:
    out.write(f"    {{0x{first:04X}, 0x{last:04X}, {delta}, {stride}}},\n")
out.write("""};

}  // namespace

char16_t windowsUpperCase(char16_t unit) {
    const auto after = std::upper_bound(std::begin(kUpperRuns), std::end(kUpperRuns), unit,
                                        [](char16_t u, const UpperRun& run) { return u < run.first; });
    if (after == std::begin(kUpperRuns)) return unit;
    const UpperRun& run = *(after - 1);
    if (unit > run.last || (unit - run.first) % run.stride != 0) return unit;
    return static_cast<char16_t>(unit + run.delta);
}
""")
