// The record that follows one disk from discovery to the run report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qir {

enum DriverKind : int32_t {
    Unset = 0,
    RstRaid = 1,
    RstNonRaid = 2,
    InboxNvme = 3,
    VrocRaid = 4,
    VrocNonRaid = 5,
};

struct TargetDisk {
    std::u16string devicePath;
    int64_t pathId = -1;
    DriverKind driverKind = Unset;
    std::u16string modelNumber;
    std::u16string serialNumber;
    std::u16string firmwareRevision;
    uint32_t updateGranularity = 1;
    uint32_t vrocDiskId = 0;
    uint32_t updateResult = 0;
};

using DiskList = std::vector<TargetDisk>;

} // namespace qir
