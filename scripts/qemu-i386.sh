#!/usr/bin/env bash
# QEMU's user-mode emulator for 32-bit x86, for kernels that cannot run 32-bit
# programs themselves: Wine's 32-bit side then runs under it. Nothing is
# registered for the machine: the emulator is made the interpreter of i386
# programs in a binfmt_misc of a private user and mount namespace (Linux 6.7 and
# later let a user namespace mount its own), for one command and what it starts.
#
#   qemu-i386.sh find        the emulator to use, on stdout; exit 1 with the reason
#   qemu-i386.sh fetch       find one, else take Debian's backports package into
#                            the project's cache (never through the machine's apt sources)
#   qemu-i386.sh run CMD...  CMD in new namespaces where i386 programs run under the
#                            emulator; exit 125 with the reason on stderr where they cannot be made
#   qemu-i386.sh enter PID CMD...
#                            CMD in the namespaces of process PID (which `run` started),
#                            so that it and its programs share them
#
# The emulator must honour MAP_FIXED_NOREPLACE (scripts/qemu-noreplace.c): QEMU 7.2,
# Debian 12's own, does not, and Wine then spends some 45 s of processor time
# starting each program. MENUPATCH_QEMU names the one to use; MENUPATCH_CACHE
# the cache folder (default .cache/ of the project, which make clean keeps).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${MENUPATCH_CACHE:-$root/.cache}"
fetched="$cache/qemu-user/qemu-i386"
probe="$cache/qemu-user/noreplace"
source "$root/scripts/backports.sh"

# The behaviour test, built once with clang and lld (which the build has anyway).
noreplace_probe() {
  if [ ! -x "$probe" ] || [ "$probe" -ot "$root/scripts/qemu-noreplace.c" ]; then
    mkdir -p "$(dirname "$probe")"
    clang-14 -target i386-linux-gnu -O2 -ffreestanding -fno-pic -nostdlib -static -fuse-ld=lld \
      -o "$probe.$$" "$root/scripts/qemu-noreplace.c" 2>/dev/null && mv "$probe.$$" "$probe" ||
      { rm -f "$probe.$$"; return 1; }
  fi
}

# Whether this emulator will do: it runs, and it honours MAP_FIXED_NOREPLACE.
# Prints why not.
unfit() {
  local qemu="$1" version
  if [ ! -x "$qemu" ]; then
    echo "no qemu-i386 at $qemu"
    return 0
  fi
  version=$("$qemu" --version 2>/dev/null | head -n 1)
  if [ -z "$version" ]; then
    echo "$qemu does not run here"
    return 0
  fi
  if ! noreplace_probe; then
    echo "the emulator's behaviour test cannot be built (clang-14 and lld: scripts/install-deps.sh)"
    return 0
  fi
  if ! "$qemu" "$probe" 2>/dev/null; then
    echo "$qemu ($version) ignores MAP_FIXED_NOREPLACE, which makes Wine far too slow under it"
    return 0
  fi
  return 1
}

find_emulator() {
  find_tool "${MENUPATCH_QEMU:-}" qemu-i386 qemu-user "$cache" "$(command -v qemu-i386 2>/dev/null)" \
    "$(command -v qemu-i386-static 2>/dev/null)" "$fetched"
}

# Debian's own package; only its qemu-i386, which is linked statically: the
# one file is all it needs.
fetch() {
  find_emulator >/dev/null && return 0
  mkdir -p "$(dirname "$fetched")"
  fetch_tool qemu-user ./usr/bin/qemu-i386 "$fetched" qemu-i386
}

# i386 executables and shared objects (e_type 2 or 3, e_machine 3), as Debian's
# qemu-user-binfmt registers them. F: the kernel opens the emulator now, so the
# programs find it whatever their mount namespace shows.
register() {
  printf '%s' ':menupatch-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$1"':F'
}

run() {
  local qemu
  qemu=$(find_emulator) || { echo "$qemu" >&2; exit 125; }
  local error
  error=$(unshare --map-root-user --mount true 2>&1) || {
    echo "user namespaces cannot be made here (unshare: $error), so the emulator cannot be registered privately" >&2
    exit 125
  }
  exec unshare --map-root-user --mount -- "$BASH" "$0" inside "$qemu" "$(id -u)" "$(id -g)" "$@"
}

# Inside the new namespaces, as their root: register, then become the command.
inside() {
  local qemu="$1" uid="$2" gid="$3"
  shift 3
  local error
  error=$(mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>&1) || {
    echo "binfmt_misc cannot be mounted in a user namespace here (Linux 6.7 and later allow it; this is $(uname -r)): $error" >&2
    exit 125
  }
  register "$qemu" > /proc/sys/fs/binfmt_misc/register || exit 125
  # A user other than root gets their own ids back in a user namespace nested
  # in this one, which the registration still serves (with a mount namespace of
  # its own, so that `enter` may join both).
  [ "$uid" -eq 0 ] || exec unshare --user --mount --map-user="$uid" --map-group="$gid" -- "$@"
  exec "$@"
}

enter() {
  local pid="$1"
  shift
  # Joining a mount namespace starts at its root: back to this folder.
  exec nsenter --target "$pid" --user --mount --preserve-credentials --wd="$PWD" -- "$@"
}

case "${1:-}" in
  find) find_emulator ;;
  fetch) fetch ;;
  run) shift; run "$@" ;;
  inside) shift; inside "$@" ;;
  enter) shift; enter "$@" ;;
  *) echo "usage: qemu-i386.sh find | fetch | run COMMAND... | enter PID COMMAND..." >&2; exit 2 ;;
esac
