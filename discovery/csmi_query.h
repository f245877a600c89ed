// Expands an RST RAID volume into its member drives and identifies each.
#pragma once

#include "discovery/target_disk.h"

namespace qir {

void queryCsmiRaidConfig(TargetDisk volume, DiskList& identifiedDisks);

} // namespace qir
