#include "app/updater/disk_updater.h"
#include "discovery/csmi_query.h"
#include "discovery/identification.h"
#include "discovery/nvme_enumeration.h"
#include "discovery/rst_enumeration.h"
#include "discovery/vroc_enumeration.h"

namespace qir {

const DiscoveryOps& productionDiscoveryOps() {
    static const DiscoveryOps ops = {
        findRstController,   enumerateRstDisks,  enumerateNvmeDisks, identifyRstDisk,
        queryCsmiRaidConfig, enumerateVrocDisks, identifyInboxDisk,
    };
    return ops;
}

} // namespace qir
