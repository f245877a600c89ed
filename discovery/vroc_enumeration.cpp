#include "discovery/vroc_enumeration.h"
namespace qir {
void enumerateVrocDisks(TargetDisk, DiskList&, int32_t*) {}
} // namespace qir
