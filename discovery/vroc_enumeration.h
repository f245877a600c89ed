// Lists and identifies the disks of the Intel VROC driver on SCSI ports 0 to 15.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"

namespace qir {

void enumerateVrocDisks(TargetDisk found, DiskList& identifiedDisks, int32_t* vrocPort);

} // namespace qir
