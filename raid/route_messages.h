// Messages both RAID routes print the same way: the open failure, a refused request and
// the closing lines of a download; and their common judgement of a download piece.
#pragma once

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/result_codes.h"
#include "platform/platform.h"

namespace qir {

inline uint32_t finishFirmwareDownload(bool succeeded) {
    narrowOut() << endl
                << (succeeded ? "  [PASS] Firmware download succeeded."
                              : "  [FAIL] Firmware download failed.")
                << endl;
    return succeeded ? kResultSuccess : kResultFailed;
}

inline void printOpenFailure(uint32_t error) {
    narrowOut() << "  [ERROR] Failed to get disk handle: 0x" << hex << error << dec << endl << endl;
}

inline void printDownloadIoctlFailure(uint32_t error) {
    formattedOut(u"  [ERROR] Firmware download IOCTL failed: 0x%X\n", error);
}

inline void printDownloadReturnCode(uint32_t returnCode) {
    formattedOut(u"  [ERROR] Firmware download failed: srbControl->ReturnCode %d\n",
                 static_cast<int32_t>(returnCode));
}

// Whether the driver took a download piece: the request went through and the driver's
// ReturnCode is 0. A refusal is printed.
inline bool downloadPieceAccepted(bool sent, const uint8_t* reply) {
    if (!sent) {
        printDownloadIoctlFailure(platform::os().getLastError());
        return false;
    }
    const uint32_t returnCode = getU32(reply, req::srb::kReturnCode);
    if (returnCode != 0) {
        printDownloadReturnCode(returnCode);
        return false;
    }
    return true;
}

inline void printActivateIoctlFailure(uint32_t error) {
    formattedOut(u"  [ERROR] Firmware activate IOCTL failed: 0x%X\n", error);
}

} // namespace qir
