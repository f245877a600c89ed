// Disks of the Windows inbox NVMe driver behind the drive maker's controllers.
#pragma once

#include "discovery/target_disk.h"

namespace qir {

// Appends one InboxNvme record per qualifying disk; 1 when every device was visited.
int enumerateNvmeDisks(DiskList& foundDisks);

} // namespace qir
