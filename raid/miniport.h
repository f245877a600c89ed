// The SRB_IO_CONTROL header every miniport request starts with, and the one call that
// sends such a request.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qir {

void buildSrbIoControl(uint8_t* request, const char (&signature)[9], uint32_t timeout,
                       uint32_t controlCode, uint32_t requestSize, uint32_t returnCode = 0);

// IOCTL_SCSI_MINIPORT with the request as input and output buffer. On failure the
// caller reads the Windows error right after the call.
bool sendMiniportRequest(platform::Handle handle, uint8_t* request, uint32_t inSize,
                         uint32_t outSize, uint32_t* bytesReturned);

} // namespace qir
