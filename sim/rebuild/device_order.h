// The order of the rebuilt machine's device tree, from the walks the capture made: the walk
// of all classes first, then the disks and storage ports it did not reach, each walk of one
// class held against it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "sim/rebuild/rebuild_records.h"

namespace qir::sim::rebuild {

struct DeviceOrder {
    std::vector<uint32_t> devices; // the tree's devices in order
    std::set<uint32_t> disks;      // reached by a walk of the disk interface class
    std::set<uint32_t> ports;      // reached by a walk of the storage port class
    uint32_t nextDevInst = 1;      // the first instance no device of the tree holds
};

// Throws RebuildError when the walks disagree.
DeviceOrder deviceOrder(const std::map<size_t, DeviceSet>& sets);

} // namespace qir::sim::rebuild
