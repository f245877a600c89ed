#include "discovery/csmi_query.h"
namespace qir {
void queryCsmiRaidConfig(TargetDisk, DiskList&) {}
} // namespace qir
