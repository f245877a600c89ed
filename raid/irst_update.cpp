#include "raid/irst_update.h"
namespace qir {
uint32_t updateIrstDisk(const TargetDisk&, const uint32_t*) { return 5; }
uint32_t downloadIrstFirmware(platform::Handle, const TargetDisk&, uint32_t) { return 1; }
uint32_t activateIrstFirmware(platform::Handle, uint8_t) { return 1; }
} // namespace qir
