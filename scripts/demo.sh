#!/usr/bin/env bash
# The plug-in at work on the substitute host's game, laid out as one build.
# With Wine, natively or under QEMU's emulation (scripts/wine-probe.sh says which
# and why, first): the substitute host loads dist/menupatch.dll with LoadLibrary
# and shows what changed. Without it (the probe says why): a dry run,
# menupatch-check for Linux running the plug-in's own attach sequence over the
# same game written out as an executable, with a settings file beside it.
# usage: demo.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR BUILD
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
windows_build="$1"
native_build="$(cd "$2" && pwd)"
build="$3"

wine=0
reason=$(bash "$root/scripts/wine-probe.sh") || wine=$?
case $wine in
  0) printf '%s\n\n' "$reason"
     exec "$root/scripts/wine-run.sh" "$windows_build/substitute_host.exe" --demo --build "$build" \
         --dll "$root/dist/menupatch.dll" ;;
  1) ;;
  *) exit 2 ;;
esac

echo "$reason"
echo
demo="$root/build/demo-dry-run"
mkdir -p "$demo"
"$native_build/write_game" "$build" "$demo/game.exe"
# The settings file the substitute host writes for its demo: 2048 bytes, byte 1466 set to 1.
head -c 2048 /dev/zero > "$demo/korvan.set"
printf '\001' | dd of="$demo/korvan.set" bs=1 seek=1466 conv=notrunc status=none

laid_out="build $build"
[ "$build" != AB ] || laid_out="build A, with build B's signature too"
cat <<HEADING
Dry run, not a load: neither Windows' nor Wine's loader loaded menupatch.dll here.
menupatch-check ran the plug-in's own attach sequence over a copy of the substitute
host's game laid out as $laid_out (written out as $demo/game.exe),
with korvan.set beside it, and shows what the plug-in will change when a game loads it.

HEADING
cd "$demo"
"$native_build/menupatch-check" game.exe
