#pragma once

#include "plugin/host_profile.h"

// The first build whose signature matches; a host that matches neither is BuildC.
const HostProfile& detectHostBuild();
