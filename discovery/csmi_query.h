// Expands an RST RAID volume into its member drives and identifies each.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"

namespace qir {

void queryCsmiRaidConfig(TargetDisk volume, DiskList& identifiedDisks);

// The RAID configuration request for set 0 in a zero-filled buffer of requestSize bytes
// (the fixed part and room for (requestSize - 64) / 136 drive records).
void buildCsmiRaidConfigRequest(uint8_t* buffer, uint32_t requestSize);

} // namespace qir
