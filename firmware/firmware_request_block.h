// Writes the FIRMWARE_REQUEST_BLOCK of the inbox and the IRST firmware requests, wherever
// the request places it.
#pragma once

#include <cstdint>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"

namespace qir {

// `Block` is the request's req::FirmwareRequestBlock; the data area runs from the end of
// the block to the end of the request of `requestSize` bytes.
template <typename Block>
void putFirmwareRequestBlock(uint8_t* request, uint32_t requestSize, uint32_t function) {
    putU32(request, Block::kVersion, Block::kVersionValue);
    putU32(request, Block::kSize, Block::kSizeValue);
    putU32(request, Block::kFunction, function);
    putU32(request, Block::kFlags, req::FIRMWARE_REQUEST_FLAG_CONTROLLER);
    putU32(request, Block::kDataBufferOffset, Block::kDataBufferOffsetValue);
    putU32(request, Block::kDataBufferLength, requestSize - Block::kData);
}

} // namespace qir
