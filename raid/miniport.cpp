#include "raid/miniport.h"

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"

namespace qir {

void buildSrbIoControl(uint8_t* request, const char (&signature)[9], uint32_t timeout,
                       uint32_t controlCode, uint32_t requestSize, uint32_t returnCode) {
    putU32(request, req::srb::kHeaderLength, req::srb::kHeaderSize);
    putSignature(request, req::srb::kSignature, signature);
    putU32(request, req::srb::kTimeout, timeout);
    putU32(request, req::srb::kControlCode, controlCode);
    putU32(request, req::srb::kReturnCode, returnCode);
    putU32(request, req::srb::kLength, requestSize - req::srb::kHeaderSize);
}

bool sendMiniportRequest(platform::Handle handle, uint8_t* request, uint32_t inSize,
                         uint32_t outSize, uint32_t* bytesReturned) {
    uint32_t ignored = 0;
    return platform::os().deviceIoControl(handle, req::IOCTL_SCSI_MINIPORT, request, inSize,
                                          request, outSize,
                                          bytesReturned ? bytesReturned : &ignored);
}

} // namespace qir
