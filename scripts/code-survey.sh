#!/usr/bin/env bash
# The figures behind the checker's measure of x86 code ("not plain code"): the
# share of odd instructions in every window of the code of several compilers,
# and of the same code substituted and encrypted, and of compressed files.
#   gcc:      Wine's 32-bit DLLs and programs, mingw-w64's runtime DLLs
#   clang:    the checker's and the plug-in's sources, compiled here by clang 14 for i686 Windows (-O2, -Os)
#   go:       esbuild's Windows 32-bit program (npm: @esbuild/win32-ia32)
#   msvc-old: 7-Zip's 7za.exe for 32-bit Windows, linked by Visual C++ 6 (npm: 7zip-bin)
#   msvc-new: sharp's Node addon and libvips-cpp, Visual C++ 2022 (npm: @img/sharp-win32-ia32),
#             and the Windows launchers Python's packaging tools carry, where this machine has them
# The npm packages are fetched once into .cache/survey (npm pack: nothing is installed or run).
# usage: code-survey.sh NATIVE_BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
survey="$(cd "$1" && pwd)/code_survey"
cache="${MENUPATCH_CACHE:-$root/.cache}/survey"
work="$root/build/code-survey"
rm -rf "$work"
mkdir -p "$work/clang" "$cache"

packages=("@esbuild/win32-ia32@0.28.2" "7zip-bin@5.2.0" "@img/sharp-win32-ia32@0.35.5")
for package in "${packages[@]}"; do
  folder="$cache/$(echo "${package%@*}" | tr -d @ | tr / -)"
  [ -d "$folder" ] && continue
  if command -v npm >/dev/null && tarball=$(cd "$cache" && npm pack --silent "$package" 2>/dev/null); then
    mkdir -p "$folder" && tar -xzf "$cache/$tarball" -C "$folder" && rm -f "$cache/$tarball"
  else
    echo "(npm could not fetch $package: its compiler's code is not surveyed)"
  fi
done

# clang's code: the project's own sources for 32-bit Windows, over mingw-w64's headers.
gcc_libs=$(dirname "$(i686-w64-mingw32-g++-win32 -print-libgcc-file-name)")
for source in "$root"/checker/*/*.cpp "$root"/text/*.cpp "$root"/plugin/*.cpp "$root"/tests/support/drm_wrapper.cpp; do
  case "$source" in *linux*) continue ;; esac
  for level in O2 Os; do
    clang++-14 --target=i686-w64-mingw32 --sysroot=/usr/i686-w64-mingw32 -isystem "$gcc_libs/include/c++" \
      -isystem "$gcc_libs/include/c++/i686-w64-mingw32" -I"$root" -I"$(bash "$root/scripts/zydis.sh" path)/src/include" \
      -I"$(bash "$root/scripts/zydis.sh" path)/zycore/include" -DZYDIS_STATIC_BUILD -DZYCORE_STATIC_BUILD \
      -DUNICODE -D_WIN32_WINNT=0x0601 -std=c++17 -"$level" -c "$source" \
      -o "$work/clang/$level-$(basename "$source" .cpp).o" 2>/dev/null || true
  done
done

{
  find /usr/lib/i386-linux-gnu/wine/i386-windows -maxdepth 1 -type f \( -name '*.dll' -o -name '*.exe' \) | sed 's/^/code gcc /'
  find /usr/lib/gcc/i686-w64-mingw32 /usr/i686-w64-mingw32 -name '*.dll' 2>/dev/null | sed 's/^/code gcc /'
  find "$work/clang" -name '*.o' | sed 's/^/code clang /'
  find "$cache" -path '*esbuild*' -name '*.exe' | sed 's/^/code go /'
  find "$cache" -path '*7zip-bin*/win/ia32/*' -name '*.exe' | sed 's/^/code msvc-old /'
  find "$cache" -path '*sharp*' \( -name '*.node' -o -name 'libvips-cpp*.dll' \) | sed 's/^/code msvc-new /'
  find / -xdev \( -name 't32.exe' -o -name 'w32.exe' -o -name 'cli-32.exe' -o -name 'gui-32.exe' \) 2>/dev/null |
    sed 's/^/code msvc-new /'
  find /usr -xdev -type f -name '*.gz' -size +8k 2>/dev/null | head -n 300 | sed 's/^/compressed - /'
} > "$work/list.txt"
echo "the share of odd instructions in windows of code, by compiler, and of hidden code (bench/code_survey.cpp):"
"$survey" < "$work/list.txt"
rm -rf "$work"
