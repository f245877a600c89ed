// Ties discovery to the update routes: finds, identifies, filters and dispatches.
#pragma once

#include <cstdint>
#include <functional>

#include "discovery/raid_controller.h"
#include "discovery/target_disk.h"

namespace qir {

struct RunOptions;

// The operations DiskUpdater::run calls. The production table calls the discovery,
// identification and update routes; tests put fakes in their place.
struct DiskUpdaterOps {
    std::function<bool(RaidController&)> findRstController;
    std::function<int(const RaidController&, DiskList& foundDisks)> enumerateRstDisks;
    std::function<int(DiskList& foundDisks)> enumerateNvmeDisks;
    std::function<int(TargetDisk, DiskList& identifiedDisks)> identifyRstDisk;
    std::function<void(TargetDisk, DiskList& identifiedDisks)> queryCsmiRaidConfig;
    std::function<void(TargetDisk, DiskList& identifiedDisks, int32_t* vrocPort)>
        enumerateVrocDisks;
    std::function<int(TargetDisk, DiskList& identifiedDisks)> identifyInboxDisk;
    std::function<uint32_t(const TargetDisk&, const uint32_t* imageSize)> updateInboxDisk;
    std::function<uint32_t(const TargetDisk&, const uint32_t* imageSize)> updateIrstDisk;
    std::function<uint32_t(const TargetDisk&, const uint32_t* imageSize, int32_t vrocPort)>
        updateVrocDisk;
};

const DiskUpdaterOps& productionDiskUpdaterOps();

class DiskUpdater {
  public:
    explicit DiskUpdater(const DiskUpdaterOps& ops = productionDiskUpdaterOps()) : ops_(ops) {}

    void run(RunOptions& options);

    DiskList foundDisks;
    DiskList identifiedDisks;

  private:
    DiskUpdaterOps ops_;
};

} // namespace qir
