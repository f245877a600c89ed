#include "raid/irst_update.h"

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/piece_loop.h"
#include "firmware/target_info_block.h"
#include "platform/win_constants.h"
#include "raid/irst_requests.h"
#include "raid/miniport.h"
#include "raid/route_messages.h"
#include "raid/status_tables.h"

namespace qir {

namespace {

// The RST driver addresses a drive by one byte; -1 (no address) thus becomes 0xFF.
uint8_t pathByteOf(const TargetDisk& target) {
    return static_cast<uint8_t>(static_cast<uint64_t>(target.pathId) & 0xFF);
}

bool sendPieces(platform::Handle controller, const TargetDisk& target, uint32_t imageSize) {
    PieceRoute route;
    route.overhead = req::rst_fw::kDownloadOverhead;
    route.build = [pathByte = pathByteOf(target)](uint8_t* request, uint32_t offset,
                                                  const uint8_t* piece, uint32_t length) {
        buildIrstDownloadRequest(request, pathByte, offset, piece, length);
        const uint32_t size = irstDownloadRequestSize(length);
        return PieceRequestSize{size, size};
    };
    route.accepted = downloadPieceAccepted;
    return sendImagePieces(controller, target.updateGranularity, imageSize, route);
}

} // namespace

uint32_t updateIrstDisk(const TargetDisk& target, const uint32_t* imageSize) {
    printTargetInfoBlock(target);
    if (!fitsWorkingCopy(imageSize))
        return kResultDeviceError;
    platform::Platform& os = platform::os();
    const platform::Handle controller = os.createFile(
        target.devicePath, win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_EXISTING, 0);
    if (controller == platform::kInvalidHandle) {
        printOpenFailure(os.getLastError());
        return kResultDeviceError;
    }
    uint32_t result = downloadIrstFirmware(controller, target, *imageSize);
    if (result == kResultSuccess)
        result = activateIrstFirmware(controller, pathByteOf(target));
    os.closeHandle(controller);
    return result;
}

uint32_t downloadIrstFirmware(platform::Handle controller, const TargetDisk& target,
                              uint32_t imageSize) {
    return finishFirmwareDownload(sendPieces(controller, target, imageSize));
}

uint32_t activateIrstFirmware(platform::Handle controller, uint8_t pathByte) {
    uint8_t request[req::rst_fw::kActivateRequestSize] = {};
    buildIrstActivateRequest(request, pathByte);
    uint32_t returned = 0;
    if (!sendMiniportRequest(controller, request, sizeof request, sizeof request, &returned)) {
        printActivateIoctlFailure(platform::os().getLastError());
        return kResultFailed;
    }
    return reportActivationStatus(getU32(request, req::srb::kReturnCode));
}

} // namespace qir
