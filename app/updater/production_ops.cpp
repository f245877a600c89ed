#include "app/updater/disk_updater.h"
#include "discovery/csmi_query.h"
#include "discovery/identification.h"
#include "discovery/nvme_enumeration.h"
#include "discovery/rst_enumeration.h"
#include "discovery/vroc_enumeration.h"
#include "firmware/inbox_update.h"
#include "raid/irst_update.h"
#include "raid/vroc_update.h"

namespace qir {

const DiskUpdaterOps& productionDiskUpdaterOps() {
    static const DiskUpdaterOps ops = {
        findRstController, enumerateRstDisks, enumerateNvmeDisks, identifyRstDisk,
        queryCsmiRaidConfig, enumerateVrocDisks, identifyInboxDisk, updateInboxDisk,
        updateIrstDisk,      updateVrocDisk,
    };
    return ops;
}

} // namespace qir
