#include "plugin/attach.h"

#include "plugin/flag_operand.h"
#include "plugin/menu_row.h"
#include "plugin/settings_flag.h"

HostCheck attachToHost(const HostProfile& profile) {
    // All or nothing: in a host that is not laid out as the build, touch nothing.
    const HostCheck slots = checkSlots(profile);
    if (slots != HostCheck::Fit) return slots;
    // Both slots are read before anything is written.
    const HostAddress pageBase = read32(profile.pageSlot);
    const HostAddress flagAddress = read32(profile.flagSourceSlot);
    const HostCheck targets = checkTargets(profile, pageBase, flagAddress);
    if (targets != HostCheck::Fit) return targets;

    redirectFlagOperand(profile.flagDestSlot, flagAddress);
    writeMenuRows(pageBase);
    callNoArgs(profile.enterSettingsDirRoutine);
    restoreSettingsFlag(flagAddress);
    callWithString(profile.setDirRoutine, "");
    return HostCheck::Fit;
}
