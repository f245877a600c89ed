// The update route for drives behind the Intel RST driver.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"
#include "platform/platform.h"

namespace qir {

// 0 activated, 1602 activated with a power cycle pending, 1 failed, 5 cannot open.
uint32_t updateIrstDisk(const TargetDisk& target, const uint32_t* imageSize);
uint32_t downloadIrstFirmware(platform::Handle controller, const TargetDisk& target,
                              uint32_t imageSize);
uint32_t activateIrstFirmware(platform::Handle controller, uint8_t pathByte);

} // namespace qir
