#include "firmware/inbox_update.h"

#include <cstring>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/request_buffer.h"
#include "discovery/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_request_block.h"
#include "firmware/piece_loop.h"
#include "firmware/piece_plan.h"
#include "firmware/target_info_block.h"
#include "platform/platform.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"

namespace qir {

namespace {

// Piece sizes the 32-bit request fields can carry together with the request overhead.
constexpr uint32_t kMaxGranularity = (0xFFFFFFFFu - req::inbox_fw::kOverhead) / 4096u;

// One request of `size` bytes at the start of the route's buffer: header and request
// block; the caller fills the data area.
void buildFirmwareRequest(uint8_t* request, uint32_t size, uint32_t function) {
    using namespace req::inbox_fw;
    std::memset(request, 0, size);
    buildSrbIoControl(request, kSignature, kTimeout, kControlCode, size);
    putFirmwareRequestBlock<Block>(request, size, function);
}

// Sends the request and reports whether the call succeeded with FIRMWARE_STATUS_SUCCESS
// (`returnCode` gets the status either way).
bool sendFirmwareRequest(platform::Handle handle, uint8_t* request, uint32_t size,
                         uint32_t* returnCode) {
    uint32_t returned = 0;
    if (!sendMiniportRequest(handle, request, size, size, &returned))
        return false;
    *returnCode = getU32(request, req::srb::kReturnCode);
    return true;
}

// The slot the image goes to, or the route's result when there is none. The driver
// chooses where the STORAGE_FIRMWARE_INFO lies and how many slot records it claims;
// a reply whose header or records would lie past the request buffer is not a reply
// the tool can act on.
bool chooseSlot(const uint8_t* request, uint32_t requestSize, uint8_t* slot, uint32_t* result) {
    using namespace req::inbox_fw;
    uint64_t info = getU32(request, Block::kDataBufferOffset);
    if (info + kInfoHeaderSize > requestSize) {
        *result = kResultDeviceError;
        return false;
    }
    uint8_t upgradeSupport = getU8(request, info + kInfoUpgradeSupport);
    uint8_t slotCount = getU8(request, info + kInfoSlotCount);
    if (upgradeSupport == 0 || slotCount == 0) {
        *result = kResultFailed;
        return false;
    }
    if (info + kInfoHeaderSize + uint64_t{kInfoSlotSize} * slotCount > requestSize) {
        *result = kResultDeviceError;
        return false;
    }
    for (uint32_t i = 0; i < slotCount; ++i) {
        uint64_t record = info + kInfoHeaderSize + uint64_t{kInfoSlotSize} * i;
        if (getU8(request, record + kSlotReadOnly) == 0) {
            *slot = getU8(request, record + kSlotNumber);
            return true;
        }
    }
    *result = kResultFailed;
    return false;
}

uint32_t getInfoAndChooseSlot(platform::Handle handle, uint8_t* request, uint32_t requestSize,
                              uint8_t* slot) {
    buildFirmwareRequest(request, requestSize, req::FIRMWARE_FUNCTION_GET_INFO);
    uint32_t returnCode = 0;
    if (!sendFirmwareRequest(handle, request, requestSize, &returnCode) ||
        returnCode != req::FIRMWARE_STATUS_SUCCESS)
        return kResultDeviceError;
    uint32_t result = kResultSuccess;
    if (!chooseSlot(request, requestSize, slot, &result))
        return result;
    return kResultSuccess;
}

// A piece shorter than the others (the end of an image the piece size does not divide)
// goes out in a request just long enough for it, so nothing past the image is sent.
uint32_t downloadImage(platform::Handle handle, uint32_t updateGranularity, uint32_t imageSize) {
    PieceRoute route;
    route.overhead = req::inbox_fw::kOverhead;
    route.build = [](uint8_t* request, uint32_t offset, const uint8_t* piece, uint32_t length) {
        using namespace req::inbox_fw;
        const uint32_t size = length + kOverhead;
        buildFirmwareRequest(request, size, req::FIRMWARE_FUNCTION_DOWNLOAD);
        putU32(request, Block::kDownloadVersion, kDownloadVersionValue);
        putU32(request, Block::kDownloadSize, kDownloadSizeValue);
        putU64(request, Block::kDownloadOffset, offset);
        putU64(request, Block::kDownloadBufferSize, length);
        std::memcpy(request + kDownloadImage, piece, length);
        return PieceRequestSize{size, size};
    };
    route.accepted = [](bool sent, const uint8_t* reply) {
        return sent && getU32(reply, req::srb::kReturnCode) == req::FIRMWARE_STATUS_SUCCESS;
    };
    return sendImagePieces(handle, updateGranularity, imageSize, route) ? kResultSuccess
                                                                        : kResultDeviceError;
}

uint32_t activate(platform::Handle handle, uint8_t* request, uint32_t requestSize, uint8_t slot) {
    using namespace req::inbox_fw;
    buildFirmwareRequest(request, requestSize, req::FIRMWARE_FUNCTION_ACTIVATE);
    putU32(request, Block::kActivateVersion, Block::kActivateVersionValue);
    putU32(request, Block::kActivateSize, Block::kActivateSizeValue);
    putU8(request, Block::kActivateSlot, slot);
    uint32_t returnCode = 0;
    if (!sendFirmwareRequest(handle, request, requestSize, &returnCode))
        return kResultDeviceError;
    if (returnCode == req::FIRMWARE_STATUS_SUCCESS ||
        returnCode == req::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED)
        return kResultSuccess;
    return kResultFailed;
}

} // namespace

uint32_t updateInboxDisk(const TargetDisk& target, const uint32_t* imageSize) {
    printTargetInfoBlock(target);

    if (!fitsWorkingCopy(imageSize) || target.updateGranularity == 0 ||
        target.updateGranularity > kMaxGranularity)
        return kResultDeviceError;
    const uint32_t pieceSize = pieceSizeOf(target.updateGranularity);
    const uint32_t requestSize = pieceSize + req::inbox_fw::kOverhead;

    RequestBuffer buffer(requestSize);
    if (!buffer)
        return kResultDeviceError;
    uint8_t* request = buffer.data();
    platform::Handle handle = platform::os().createFile(
        target.devicePath, win::GENERIC_READ | win::GENERIC_WRITE,
        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING, 0);
    if (handle == platform::kInvalidHandle)
        return kResultDeviceError;

    uint8_t slot = 0;
    uint32_t result = getInfoAndChooseSlot(handle, request, requestSize, &slot);
    if (result == kResultSuccess)
        result = downloadImage(handle, target.updateGranularity, *imageSize);
    if (result == kResultSuccess)
        result = activate(handle, request, requestSize, slot);

    platform::os().closeHandle(handle);
    return result;
}

} // namespace qir
