#include "raid/irst_requests.h"

#include <cstring>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "firmware/firmware_request_block.h"
#include "raid/miniport.h"

namespace qir {

namespace {

void buildFirmwareRequest(uint8_t* buffer, uint32_t requestSize, uint8_t pathByte,
                          uint32_t function) {
    namespace fw = req::rst_fw;
    buildSrbIoControl(buffer, fw::kSignature, fw::kTimeout, fw::kControlCode, requestSize);
    putU8(buffer, fw::kVersion, 1);
    putU8(buffer, fw::kPathId, pathByte);
    putU8(buffer, fw::kTargetId, 0);
    putU8(buffer, fw::kLun, 0);
    putFirmwareRequestBlock<fw::Block>(buffer, requestSize, function);
}

} // namespace

void buildIrstDownloadRequest(uint8_t* buffer, uint8_t pathByte, uint32_t offset,
                              const uint8_t* piece, uint32_t pieceLength) {
    namespace fw = req::rst_fw;
    using Block = fw::Block;
    buildFirmwareRequest(buffer, irstDownloadRequestSize(pieceLength), pathByte,
                         req::FIRMWARE_FUNCTION_DOWNLOAD);
    putU32(buffer, Block::kDownloadVersion, fw::kDownloadVersionValue);
    putU32(buffer, Block::kDownloadSize, fw::kDownloadSizeValue);
    putU64(buffer, Block::kDownloadOffset, offset);
    putU64(buffer, Block::kDownloadBufferSize, pieceLength);
    putU8(buffer, fw::kDownloadSlot, fw::kDownloadSlotValue);
    putU32(buffer, fw::kDownloadImageSize, 0);
    std::memcpy(buffer + fw::kDownloadImage, piece, pieceLength);
}

void buildIrstActivateRequest(uint8_t* buffer, uint8_t pathByte) {
    namespace fw = req::rst_fw;
    using Block = fw::Block;
    buildFirmwareRequest(buffer, fw::kActivateRequestSize, pathByte,
                         req::FIRMWARE_FUNCTION_ACTIVATE);
    putU32(buffer, Block::kActivateVersion, Block::kActivateVersionValue);
    putU32(buffer, Block::kActivateSize, Block::kActivateSizeValue);
    putU8(buffer, Block::kActivateSlot, fw::kActivateSlotValue);
}

} // namespace qir
