// Ties discovery to the update routes: finds, identifies, filters and dispatches.
#pragma once

#include <cstdint>
#include <functional>

#include "discovery/raid_controller.h"
#include "discovery/target_disk.h"

namespace qir {

struct RunOptions;

// The operations that find and identify disks. The update and the pre-flight scan call
// the same table, so what the scan reports is what the update would act on.
struct DiscoveryOps {
    std::function<bool(RaidController&)> findRstController;
    std::function<int(const RaidController&, DiskList& foundDisks)> enumerateRstDisks;
    std::function<int(DiskList& foundDisks)> enumerateNvmeDisks;
    std::function<int(TargetDisk, DiskList& identifiedDisks)> identifyRstDisk;
    std::function<void(TargetDisk, DiskList& identifiedDisks)> queryCsmiRaidConfig;
    std::function<void(TargetDisk, DiskList& identifiedDisks, int32_t* vrocPort)>
        enumerateVrocDisks;
    std::function<int(TargetDisk, DiskList& identifiedDisks)> identifyInboxDisk;
};

// The operations DiskUpdater::run calls. The production table calls the discovery,
// identification and update routes; tests put fakes in their place.
struct DiskUpdaterOps : DiscoveryOps {
    std::function<uint32_t(const TargetDisk&, const uint32_t* imageSize)> updateInboxDisk;
    std::function<uint32_t(const TargetDisk&, const uint32_t* imageSize)> updateIrstDisk;
    std::function<uint32_t(const TargetDisk&, const uint32_t* imageSize, int32_t vrocPort)>
        updateVrocDisk;
};

// The discovery half alone links no update route, so a program that only looks at the
// drives carries neither the routes nor the image they send.
const DiscoveryOps& productionDiscoveryOps();
const DiskUpdaterOps& productionDiskUpdaterOps();

// The revisions the image replaces, in the order they are tested.
inline constexpr const char16_t* kEligibleRevisions[] = {u"VDL7W2QA", u"VDL4J9QB"};

// Exact 16-bit comparison of all 8 characters with an eligible revision: no trimming, no
// case folding.
bool isEligibleRevision(const std::u16string& revision);

// Discovery in its fixed order, identification of every found record, and the
// eligibility filter: appends to all three lists; `vrocPort` is where the VROC
// enumeration found its drives (-1 when it found none).
void findTargets(const DiscoveryOps& ops, DiskList& foundDisks, DiskList& identifiedDisks,
                 DiskList& targets, int32_t* vrocPort);

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
