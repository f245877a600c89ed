// A storage port of the tree: its opens, and whether the RST driver answers for it, with
// the drives its Identify replies show and the RAID members its CSMI replies list.
#pragma once

#include "capture/captured_call.h"
#include "sim/rebuild/rebuild_records.h"
#include "sim/rebuild/setup_devices.h"

namespace qir::sim::rebuild {

// `opens` are the opens no device accounted for yet.
DeviceEntry storagePort(SetupEntry setup, const RequestsByPath& requests,
                        const RequestsByPath& opens, const capture::CallList& calls);

} // namespace qir::sim::rebuild
