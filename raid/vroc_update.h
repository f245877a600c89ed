// The update route for drives behind the Intel VROC driver.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"
#include "platform/platform.h"

namespace qir {

// 0 committed, 1 download or commit request failed, 5 cannot open or commit status.
uint32_t updateVrocDisk(const TargetDisk& target, const uint32_t* imageSize, int32_t vrocPort);
uint32_t downloadVrocFirmware(platform::Handle port, const TargetDisk& target,
                              uint32_t imageSize);
uint32_t activateVrocFirmware(platform::Handle port, uint32_t vrocDiskId);

} // namespace qir
