// The update route for drives behind the Intel VROC driver.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"

namespace qir {

// 0 committed, 1 download or commit request failed, 5 image size refused, cannot open
// or commit status.
uint32_t updateVrocDisk(const TargetDisk& target, const uint32_t* imageSize, int32_t vrocPort);

} // namespace qir
