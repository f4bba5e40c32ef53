#!/usr/bin/env bash
# Installs what the build and the tests need and this machine lacks (Debian).
set -euo pipefail

missing=()
need() { # need COMMAND-or-PATH PACKAGE
  if ! command -v "$1" >/dev/null 2>&1 && [ ! -e "$1" ]; then missing+=("$2"); fi
}
need cmake cmake
need make make
need g++ g++
need /usr/include/gtest/gtest.h libgtest-dev
need i686-w64-mingw32-g++-win32 g++-mingw-w64-i686
need wine wine
need /usr/lib/wine/wine wine32:i386
# Wine's server as a 64-bit program: where Wine's 32-bit side runs under QEMU, the
# server still runs natively, and must, for QEMU's user mode has no ptrace, by
# which the server reads another program's memory (ReadProcessMemory).
need /usr/lib/wine/wineserver64 wine64
need zip zip
need unzip unzip
need clang-14 clang-14
need /usr/lib/llvm-14/bin/ld.lld lld-14
# libFuzzer and the sanitizers' runtimes for clang 14
need "$(ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null | head -n 1)" libclang-rt-14-dev

# Where the kernel cannot run Wine's 32-bit side, QEMU's user-mode emulator runs
# it: fetched from Debian's backports, checked against Debian's keyring, into the
# project's cache when the machine has none that will do (scripts/qemu-i386.sh).
need /usr/share/keyrings/debian-archive-keyring.gpg debian-archive-keyring

if [ ${#missing[@]} -ne 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  case " ${missing[*]} " in
    *:i386*) $sudo dpkg --add-architecture i386 ;;
  esac
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Zydis' decoder, which menupatch-check measures code with: its sources, built into both checkers.
bash "$(dirname "$0")/zydis.sh" fetch || { echo "menupatch-check cannot be built without Zydis' sources" >&2; exit 1; }

# UPX 4, which the tests pack the stand-in game with (Debian 12 has only 3.96).
bash "$(dirname "$0")/upx.sh" fetch || echo "without UPX 4 the tests that pack the stand-in game fail" >&2

case "${MENUPATCH_WINE:-auto}" in
  off|native) ;;
  emulated) bash "$(dirname "$0")/qemu-i386.sh" fetch ;;
  *) /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null || bash "$(dirname "$0")/qemu-i386.sh" fetch || true ;;
esac
