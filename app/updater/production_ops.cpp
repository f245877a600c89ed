#include "app/updater/disk_updater.h"
#include "firmware/inbox_update.h"
#include "raid/irst_update.h"
#include "raid/vroc_update.h"

namespace qir {

const DiskUpdaterOps& productionDiskUpdaterOps() {
    static const DiskUpdaterOps ops = {
        {productionDiscoveryOps()}, updateInboxDisk, updateIrstDisk, updateVrocDisk};
    return ops;
}

} // namespace qir
