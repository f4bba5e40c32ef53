#include "plugin/host_check.h"
#include "plugin/host_profile.h"

const HostProfile& detectHostBuild() {
    if (signatureAt(BuildA.probeAddress)) return BuildA;
    if (signatureAt(BuildB.probeAddress)) return BuildB;
    return BuildC;
}
