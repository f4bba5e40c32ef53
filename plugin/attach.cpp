#include "plugin/flag_operand.h"
#include "plugin/host_profile.h"
#include "plugin/menu_row.h"
#include "plugin/settings_flag.h"

void attachToHost(const HostProfile& profile) {
    // Both slots are read before anything is written.
    const HostAddress pageBase = read32(profile.pageSlot);
    const HostAddress flagAddress = read32(profile.flagSourceSlot);

    redirectFlagOperand(profile.flagDestSlot, flagAddress);
    writeMenuRows(pageBase);
    callNoArgs(profile.enterSettingsDirRoutine);
    restoreSettingsFlag(flagAddress);
    callWithString(profile.setDirRoutine, "");
}
