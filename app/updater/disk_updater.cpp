#include "app/updater/disk_updater.h"

#include "app/run_options.h"
#include "firmware/firmware_image.h"

namespace qir {

namespace {

bool isEligibleRevision(const std::u16string& revision) {
    // Exact 16-bit comparison of all 8 characters: no trimming, no case folding.
    return revision.size() == 8 && (revision == u"VDL7W2QA" || revision == u"VDL4J9QB");
}

} // namespace

void DiskUpdater::run(RunOptions& options) {
    RaidController controller;
    if (ops_.findRstController(controller))
        ops_.enumerateRstDisks(controller, foundDisks);
    ops_.enumerateNvmeDisks(foundDisks);
    if (foundDisks.empty())
        return;

    int32_t vrocPort = -1;
    for (const TargetDisk& found : foundDisks) {
        switch (found.driverKind) {
        case RstNonRaid:
            ops_.identifyRstDisk(found, identifiedDisks);
            break;
        case RstRaid:
            ops_.queryCsmiRaidConfig(found, identifiedDisks);
            break;
        case InboxNvme:
            ops_.identifyInboxDisk(found, identifiedDisks);
            continue;
        default:
            continue;
        }
        // An RST record that left nothing identified may stand for a VROC controller,
        // whose drives the RST requests cannot reach.
        if (identifiedDisks.empty())
            ops_.enumerateVrocDisks(found, identifiedDisks, &vrocPort);
    }

    for (const TargetDisk& disk : identifiedDisks)
        if (isEligibleRevision(disk.firmwareRevision))
            options.targets.push_back(disk);

    for (TargetDisk& target : options.targets) {
        // Set afresh for each target, whatever an earlier route made of it.
        uint32_t imageSize = kFirmwareImageSize;
        uint32_t result;
        switch (target.driverKind) {
        case InboxNvme:
            result = ops_.updateInboxDisk(target, &imageSize);
            break;
        case VrocRaid:
        case VrocNonRaid:
            result = ops_.updateVrocDisk(target, &imageSize, vrocPort);
            break;
        default:
            result = ops_.updateIrstDisk(target, &imageSize);
            break;
        }
        target.updateResult = result;
    }
}

} // namespace qir
