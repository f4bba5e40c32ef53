#include "plugin/host_check.h"

#include "host/page_access.h"
#include "plugin/menu_row.h"

namespace {

constexpr std::uint32_t kDwordSize = 4;
// A routine is entered at its first byte; its length is the host's business.
constexpr std::uint32_t kRoutineEntrySize = 1;

}  // namespace

bool signatureAt(HostAddress probe) {
    return hasAccess(probe, kDwordSize, Access::Readable) && read32(probe) == kBuildSignature;
}

HostCheck checkSlots(const HostProfile& profile) {
    if (!hasAccess(profile.pageSlot, kDwordSize, Access::Readable)) return HostCheck::PageSlot;
    if (!hasAccess(profile.flagSourceSlot, kDwordSize, Access::Readable)) {
        return HostCheck::FlagSourceSlot;
    }
    return HostCheck::Fit;
}

HostCheck checkTargets(const HostProfile& profile, HostAddress pageBase, HostAddress flagAddress) {
    if (!hasAccess(profile.flagDestSlot, kDwordSize, Access::Committed)) {
        return HostCheck::FlagOperand;
    }
    HostAddress rows = 0;
    if (!menuRowsAt(pageBase, &rows) || !hasAccess(rows, sizeof(MenuRowBlock), Access::Writable)) {
        return HostCheck::MenuRows;
    }
    if (!hasAccess(flagAddress, 1, Access::Writable)) return HostCheck::FlagByte;
    if (!hasAccess(profile.enterSettingsDirRoutine, kRoutineEntrySize, Access::Executable)) {
        return HostCheck::EnterSettingsDirRoutine;
    }
    if (!hasAccess(profile.setDirRoutine, kRoutineEntrySize, Access::Executable)) {
        return HostCheck::SetDirRoutine;
    }
    return HostCheck::Fit;
}
