#include "plugin/host_builds.h"

#include "plugin/host_check.h"

const HostProfile& detectHostBuild() {
    if (signatureAt(BuildA.probeAddress)) return BuildA;
    if (signatureAt(BuildB.probeAddress)) return BuildB;
    return BuildC;
}
