// The Intel RST controller's storage port and the disks below Intel parents.
#pragma once

#include <cstdint>

#include "discovery/raid_controller.h"
#include "discovery/target_disk.h"

namespace qir {

bool findRstController(RaidController& controller);
int enumerateRstDisks(const RaidController& controller, DiskList& foundDisks);
// Sets busNumber from the device's location text (-1 when it has none); leaves it
// untouched when the device list cannot be had.
void readBusNumber(uint32_t devInst, int64_t* busNumber);

} // namespace qir
