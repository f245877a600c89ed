#include "raid/vroc_update.h"
namespace qir {
uint32_t updateVrocDisk(const TargetDisk&, const uint32_t*, int32_t) { return 5; }
uint32_t downloadVrocFirmware(platform::Handle, const TargetDisk&, uint32_t) { return 1; }
uint32_t activateVrocFirmware(platform::Handle, uint32_t) { return 1; }
} // namespace qir
