# Sourced by the shape checks: a PE file's headers as binutils reads them, a
# failure recorder, and the DLL characteristics both shipped files must have.
#   pe_headers FILE    reads the headers; then `field NAME` gives a field's value
failed=0
fail() { echo "FAIL: $*"; failed=1; }

pe_headers() { headers=$(i686-w64-mingw32-objdump -p "$1"); }
field() { sed -n "s/^$1[[:space:]]\+//p" <<<"$headers" | head -n 1; }

# Exactly ASLR, DEP and no SEH handlers (nothing for SafeSEH to check): 0x40 | 0x100 | 0x400.
check_dll_characteristics() {
  [ "$(field DllCharacteristics)" = "00000540" ] ||
    fail "DllCharacteristics $(field DllCharacteristics), not 00000540 (DYNAMIC_BASE, NX_COMPAT, NO_SEH only)"
}
