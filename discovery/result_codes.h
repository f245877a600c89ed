// The numbers a disk's update ends in (TargetDisk::updateResult) and the run's own result
// code, which the log, the closing console line and the process exit code all show.
// Deployment tools act on these numbers, so they never change.
#pragma once

#include <cstdint>

namespace qir {

inline constexpr uint32_t kResultSuccess = 0;
// A step of the update was refused or its request failed; for the run, any disk's failure
// or no disk to update.
inline constexpr uint32_t kResultFailed = 1;
// The route could not work with the device at all: no handle, no request buffer, a reply
// it cannot act on, an image it cannot send.
inline constexpr uint32_t kResultDeviceError = 5;
// The image is written and becomes active at the next power cycle.
inline constexpr uint32_t kResultRebootRequired = 1602;

} // namespace qir
