#include "app/updater/disk_updater.h"

#include "app/run_options.h"
#include "firmware/firmware_image.h"

namespace qir {

bool isEligibleRevision(const std::u16string& revision) {
    if (revision.size() != 8)
        return false;
    for (const char16_t* eligible : kEligibleRevisions)
        if (revision == eligible)
            return true;
    return false;
}

void findTargets(const DiscoveryOps& ops, DiskList& foundDisks, DiskList& identifiedDisks,
                 DiskList& targets, int32_t* vrocPort) {
    *vrocPort = -1;
    RaidController controller;
    if (ops.findRstController(controller))
        ops.enumerateRstDisks(controller, foundDisks);
    ops.enumerateNvmeDisks(foundDisks);
    if (foundDisks.empty())
        return;

    for (const TargetDisk& found : foundDisks) {
        switch (found.driverKind) {
        case RstNonRaid:
            ops.identifyRstDisk(found, identifiedDisks);
            break;
        case RstRaid:
            ops.queryCsmiRaidConfig(found, identifiedDisks);
            break;
        case InboxNvme:
            ops.identifyInboxDisk(found, identifiedDisks);
            continue;
        default:
            continue;
        }
        // An RST record that left nothing identified may stand for a VROC controller,
        // whose drives the RST requests cannot reach.
        if (identifiedDisks.empty())
            ops.enumerateVrocDisks(found, identifiedDisks, vrocPort);
    }

    for (const TargetDisk& disk : identifiedDisks)
        if (isEligibleRevision(disk.firmwareRevision))
            targets.push_back(disk);
}

void DiskUpdater::run(RunOptions& options) {
    int32_t vrocPort = -1;
    findTargets(ops_, foundDisks, identifiedDisks, options.targets, &vrocPort);

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
