#include "plugin/attach.h"

#include "plugin/flag_operand.h"
#include "plugin/host_check.h"
#include "plugin/menu_row.h"
#include "plugin/settings_flag.h"

void attachToHost(const HostProfile& profile) {
    // All or nothing: in a host that is not laid out as the build, touch nothing.
    if (!slotsReadable(profile)) return;
    // Both slots are read before anything is written.
    const HostAddress pageBase = read32(profile.pageSlot);
    const HostAddress flagAddress = read32(profile.flagSourceSlot);
    if (!targetsUsable(profile, pageBase, flagAddress)) return;

    redirectFlagOperand(profile.flagDestSlot, flagAddress);
    writeMenuRows(pageBase);
    callNoArgs(profile.enterSettingsDirRoutine);
    restoreSettingsFlag(flagAddress);
    callWithString(profile.setDirRoutine, "");
}
