#include "firmware/inbox_update.h"

#include <cstring>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/request_buffer.h"
#include "discovery/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/inbox_firmware_info.h"
#include "firmware/piece_loop.h"
#include "firmware/target_info_block.h"
#include "platform/platform.h"

namespace qir {

namespace {

// A piece shorter than the others (the end of an image the piece size does not divide)
// goes out in a request just long enough for it, so nothing past the image is sent.
uint32_t downloadImage(platform::Handle handle, RequestBuffer& request, uint32_t updateGranularity,
                       uint32_t imageSize) {
    PieceRoute route;
    route.overhead = req::inbox_fw::kOverhead;
    route.build = [](uint8_t* request, uint32_t offset, const uint8_t* piece, uint32_t length) {
        using namespace req::inbox_fw;
        const uint32_t size = length + kOverhead;
        putInboxFirmwareRequest(request, size, req::FIRMWARE_FUNCTION_DOWNLOAD);
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
    return sendImagePieces(handle, request, updateGranularity, imageSize, route)
               ? kResultSuccess
               : kResultDeviceError;
}

uint32_t activate(platform::Handle handle, uint8_t* request, uint32_t requestSize, uint8_t slot) {
    using namespace req::inbox_fw;
    buildInboxFirmwareRequest(request, requestSize, req::FIRMWARE_FUNCTION_ACTIVATE);
    putU32(request, Block::kActivateVersion, Block::kActivateVersionValue);
    putU32(request, Block::kActivateSize, Block::kActivateSizeValue);
    putU8(request, Block::kActivateSlot, slot);
    uint32_t returnCode = 0;
    if (!sendInboxFirmwareRequest(handle, request, requestSize, &returnCode))
        return kResultDeviceError;
    if (returnCode == req::FIRMWARE_STATUS_SUCCESS ||
        returnCode == req::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED)
        return kResultSuccess;
    return kResultFailed;
}

} // namespace

uint32_t updateInboxDisk(const TargetDisk& target, const uint32_t* imageSize) {
    printTargetInfoBlock(target);

    const uint32_t requestSize = inboxRequestSize(target);
    if (!fitsWorkingCopy(imageSize) || requestSize == 0)
        return kResultDeviceError;

    RequestBuffer buffer(requestSize);
    if (!buffer)
        return kResultDeviceError;
    uint8_t* request = buffer.data();
    platform::Handle handle = openInboxDevice(target.devicePath);
    if (handle == platform::kInvalidHandle)
        return kResultDeviceError;

    const InboxSlotJudgement judgement = getInfoAndChooseSlot(handle, request, requestSize);
    uint32_t result = routeResultOf(judgement.choice);
    if (result == kResultSuccess)
        result = downloadImage(handle, buffer, target.updateGranularity, *imageSize);
    if (result == kResultSuccess)
        result = activate(handle, request, requestSize, judgement.slot);

    platform::os().closeHandle(handle);
    return result;
}

} // namespace qir
