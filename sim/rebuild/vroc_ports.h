// A port of the VROC driver ("\\.\ScsiN:"), which no device walk shows: its opens, the
// drives that answered Identify on it, its RAID volumes and its non-RAID drives as its
// count and list replies show them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "capture/captured_call.h"
#include "sim/rebuild/rebuild_records.h"

namespace qir::sim::rebuild {

struct VrocPortEntry {
    DeviceEntry entry;
    std::map<uint32_t, std::string> drivesByDiskId; // the drives it found, by disk id
};

// `opens` are the opens no device accounted for yet, `drivesBefore` the drives the ports
// before it found, by disk id.
VrocPortEntry vrocPort(int port, uint32_t devInst, const std::vector<Request>& requests,
                       const RequestsByPath& opens, const capture::CallList& calls,
                       const std::map<uint32_t, std::string>& drivesBefore);

} // namespace qir::sim::rebuild
