// The update route for drives behind the Intel RST driver.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"

namespace qir {

// 0 activated, 1602 activated with a power cycle pending, 1 failed, 5 image size refused
// or cannot open.
uint32_t updateIrstDisk(const TargetDisk& target, const uint32_t* imageSize);

} // namespace qir
