#include "plugin/host_profile.h"

const HostProfile& detectHostBuild() {
    if (read32(BuildA.probeAddress) == kBuildSignature) return BuildA;
    if (read32(BuildB.probeAddress) == kBuildSignature) return BuildB;
    return BuildC;
}
