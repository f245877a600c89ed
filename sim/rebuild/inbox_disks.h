// A disk of the tree: its device number, its opens, and whether the inbox driver answers
// for it, with the drive its Identify and get-info replies show.
#pragma once

#include <set>
#include <vector>

#include "capture/captured_call.h"
#include "sim/rebuild/rebuild_records.h"
#include "sim/rebuild/setup_devices.h"

namespace qir::sim::rebuild {

// `opens` are the opens no device accounted for yet, `numbersTaken` the device numbers of
// the disks before it and `drivesSoFar` the drives found before it.
DeviceEntry inboxDisk(SetupEntry setup, const RequestsByPath& requests, const RequestsByPath& opens,
                      const capture::CallList& calls, const std::set<uint32_t>& numbersTaken,
                      const std::vector<Drive>& drivesSoFar);

} // namespace qir::sim::rebuild
