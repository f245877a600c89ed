// Messages both RAID routes print the same way: the open failure and the closing lines
// of a download.
#pragma once

#include "app/console.h"

namespace qir {

inline uint32_t finishFirmwareDownload(bool succeeded) {
    narrowOut() << endl
                << (succeeded ? "  [PASS] Firmware download succeeded."
                              : "  [FAIL] Firmware download failed.")
                << endl;
    return succeeded ? 0u : 1u;
}

inline void printOpenFailure(uint32_t error) {
    narrowOut() << "  [ERROR] Failed to get disk handle: 0x" << hex << error << dec << endl << endl;
}

} // namespace qir
