// NVMe Identify Controller through the inbox driver or through the RST driver.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"

namespace qir {

// 0 identified and appended, 2 cannot open, 5 query failed.
int identifyInboxDisk(TargetDisk disk, DiskList& identifiedDisks);
// 0 identified and appended, 5 request failed, 8 no buffer or port cannot be opened.
int identifyRstDisk(TargetDisk disk, DiskList& identifiedDisks);

// FWUG when the drive's NVMe version is above 1.2 and FWUG is not 0; else 1.
uint32_t updateGranularityOf(const uint8_t* identifyData);

} // namespace qir
