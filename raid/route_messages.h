// Messages both RAID routes print the same way: the open failure, a refused request and
// the closing lines of a download.
#pragma once

#include "app/console.h"
#include "discovery/result_codes.h"

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

inline void printActivateIoctlFailure(uint32_t error) {
    formattedOut(u"  [ERROR] Firmware activate IOCTL failed: 0x%X\n", error);
}

} // namespace qir
