#include "discovery/rst_enumeration.h"
namespace qir {
bool findRstController(RaidController&) { return false; }
int enumerateRstDisks(const RaidController&, DiskList&) { return 1; }
void readBusNumber(uint32_t, int64_t*) {}
} // namespace qir
