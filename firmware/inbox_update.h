// The update route for disks of the Windows inbox NVMe driver.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"

namespace qir {

// 0 activated (also when a power cycle is required), 1 refused by the drive, 5 failed
// (image size refused included).
uint32_t updateInboxDisk(const TargetDisk& target, const uint32_t* imageSize);

} // namespace qir
