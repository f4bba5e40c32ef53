#include "plugin/flag_operand.h"

#include <windows.h>

namespace {

constexpr std::uint32_t kOperandSize = 4;

}  // namespace

void redirectFlagOperand(HostAddress flagDestSlot, HostAddress flagAddress) {
    patchHostDword(flagDestSlot, flagAddress);
}

void patchHostDword(HostAddress address, std::uint32_t value) {
    std::uint32_t previous = 0;
    // A store into code that stayed read-only would fault inside the loader: when
    // the change is refused, nothing is stored or restored (the attach goes on).
    if (!protect(address, kOperandSize, PAGE_EXECUTE_READWRITE, &previous)) return;
    write32(address, value);
    std::uint32_t scratch = 0;
    protect(address, kOperandSize, previous, &scratch);
}
