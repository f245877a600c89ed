// What a driver's status means to the RAID routes: the message printed and the result.
#pragma once

#include <cstdint>

namespace qir {

// Answer of the IRST activate request (a FIRMWARE_STATUS value): prints, returns 0/1602/1.
uint32_t reportActivationStatus(uint32_t returnCode);
// Answer of the VROC firmware commit: prints, returns 0, 1 or 5.
uint32_t reportCommitStatus(uint32_t returnCode, uint32_t completionStatus);

} // namespace qir
