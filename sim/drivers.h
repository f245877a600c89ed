// The simulated storage drivers. Each answers the requests that reach a device it serves;
// SimMachine picks the driver from the device and copies the reply back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/sim_machine.h"

namespace qir::sim {

// The disk class driver and the inbox NVMe driver below it.
IoAnswer inboxDriverRequest(IoRequest& r);
// IOCTL_STORAGE_GET_DEVICE_NUMBER, which every disk answers whatever port serves it.
IoAnswer diskDeviceNumberRequest(IoRequest& r);
IoAnswer rstDriverRequest(IoRequest& r);
// The storage port of a VROC controller (it knows no RST request).
IoAnswer vrocPortRequest(IoRequest& r);
// A \\.\ScsiN: device of the VROC driver.
IoAnswer vrocScsiRequest(IoRequest& r);

// Helpers shared by the drivers.
struct FieldSpot {
    const char* name;
    uint32_t offset;
    uint32_t width; // 1, 2, 4 or 8
};
// Overwrites the reply fields named by the request's fields faults; "identify:<n>"
// addresses byte n of Identify data placed at identifyBase (when nonzero).
void applyFieldFaults(IoRequest& r, const std::vector<FieldSpot>& spots, uint32_t identifyBase = 0);
std::string signatureOf(const IoRequest& r);
// The SRB_IO_CONTROL header checks every miniport driver makes before it looks at the
// signature: room for the header, HeaderLength, and a Length that fits the buffer.
bool srbHeaderFits(const IoRequest& r);
// The STORAGE_FIRMWARE_DOWNLOAD (either version) and STORAGE_FIRMWARE_ACTIVATE in the data
// area of a firmware request, as the inbox and the RST driver both read them: the
// FIRMWARE_STATUS of the answer, and whether the drive was asked at all (a data area of
// the wrong form never reaches it). Each driver writes the status its own way.
struct FirmwareAnswer {
    uint32_t status = 0;
    bool reachedDrive = false;
};
FirmwareAnswer decodeFirmwareDownload(IoRequest& r, NvmeDrive& drive, uint32_t dataOffset,
                                      uint32_t dataLength);
FirmwareAnswer decodeFirmwareActivate(IoRequest& r, NvmeDrive& drive, uint32_t dataOffset,
                                      uint32_t dataLength);
// FIRMWARE_STATUS for a drive's answer to a firmware commit.
uint32_t firmwareStatusOfCommit(const CommitResult& result);
uint32_t firmwareStatusOfDownload(const NvmeStatus& status);

} // namespace qir::sim
