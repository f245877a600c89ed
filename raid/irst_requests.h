// The "IntelFw " requests of the IRST route, built into a caller's zero-filled buffer.
#pragma once

#include <cstdint>

#include "discovery/driver_requests.h"

namespace qir {

inline uint32_t irstDownloadRequestSize(uint32_t pieceLength) {
    return pieceLength + req::rst_fw::kDownloadOverhead;
}

// buffer holds irstDownloadRequestSize(pieceLength) bytes; piece holds pieceLength bytes.
void buildIrstDownloadRequest(uint8_t* buffer, uint8_t pathByte, uint32_t offset,
                              const uint8_t* piece, uint32_t pieceLength);
// buffer holds the 68-byte activate request.
void buildIrstActivateRequest(uint8_t* buffer, uint8_t pathByte);

} // namespace qir
