// The path of a VROC driver's SCSI port device: "\\.\Scsi", the number, a colon.
#pragma once

#include <cstdint>
#include <string>

#include "discovery/driver_requests.h"

namespace qir {

inline std::u16string scsiPortPath(int32_t port) {
    std::u16string path = req::kScsiPortPrefix;
    for (char c : std::to_string(port))
        path += static_cast<char16_t>(c);
    path += u':';
    return path;
}

} // namespace qir
