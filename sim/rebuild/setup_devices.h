// A device of the tree as its properties and interface show it: the fields every device
// has, whether it is a disk, a storage port or another device, and the paths that reach it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/rebuild/device_order.h"
#include "sim/rebuild/rebuild_records.h"

namespace qir::sim::rebuild {

enum class DeviceClass { Disk, StoragePort, Other };

struct SetupEntry {
    nlohmann::ordered_json device;
    DeviceClass deviceClass = DeviceClass::Other;
    std::vector<std::u16string> keys; // the paths that reach it, in upper case
};

SetupEntry setupEntry(uint32_t devInst, Device d, const DeviceOrder& order);

} // namespace qir::sim::rebuild
