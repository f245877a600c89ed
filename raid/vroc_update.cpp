#include "raid/vroc_update.h"

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/request_buffer.h"
#include "discovery/result_codes.h"
#include "discovery/scsi_port_path.h"
#include "firmware/firmware_image.h"
#include "firmware/piece_plan.h"
#include "firmware/target_info_block.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"
#include "raid/nvme_raid_request.h"
#include "raid/route_messages.h"
#include "raid/status_tables.h"

namespace qir {

namespace {

bool sendPieces(platform::Handle port, const TargetDisk& target, uint32_t imageSize) {
    const uint32_t pieceSize = pieceSizeOf(target.updateGranularity);
    if (pieceSize == 0)
        return false;
    RequestBuffer buffer(static_cast<size_t>(pieceSize) + req::vroc::kPieceOverhead);
    if (!buffer)
        return false;
    uint32_t length = 0;
    for (uint32_t offset = 0; offset < imageSize; offset += length) {
        length = pieceLengthAt(offset, pieceSize, imageSize);
        buffer.zero();
        buildVrocDownloadRequest(buffer.data(), target.vrocDiskId, offset, workingCopy() + offset,
                                 length);
        uint32_t returned = 0;
        if (!sendMiniportRequest(port, buffer.data(), vrocPieceRequestSize(length),
                                 req::vroc::kReplySize, &returned)) {
            printDownloadIoctlFailure(platform::os().getLastError());
            return false;
        }
        const uint32_t returnCode = getU32(buffer.data(), req::srb::kReturnCode);
        if (returnCode != 0) {
            printDownloadReturnCode(returnCode);
            return false;
        }
        const uint32_t status = completionStatusOf(buffer.data());
        if (status != 0) {
            formattedOut(u"  [ERROR] Firmware download failed: "
                         u"(nvmePassThroughIoctl->CplEntry[3]) >> 17: 0x%08x\n",
                         status);
            return false;
        }
    }
    return true;
}

} // namespace

uint32_t updateVrocDisk(const TargetDisk& target, const uint32_t* imageSize, int32_t vrocPort) {
    printVrocTargetInfoBlock(target);
    platform::Platform& os = platform::os();
    const platform::Handle port = os.createFile(
        scsiPortPath(vrocPort), win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_EXISTING, 0);
    if (port == platform::kInvalidHandle) {
        printOpenFailure(os.getLastError());
        return kResultDeviceError;
    }
    uint32_t result = downloadVrocFirmware(port, target, *imageSize);
    if (result == kResultSuccess)
        result = activateVrocFirmware(port, target.vrocDiskId);
    os.closeHandle(port);
    return result;
}

uint32_t downloadVrocFirmware(platform::Handle port, const TargetDisk& target, uint32_t imageSize) {
    return finishFirmwareDownload(sendPieces(port, target, imageSize));
}

uint32_t activateVrocFirmware(platform::Handle port, uint32_t vrocDiskId) {
    uint8_t request[req::vroc::kCommitSize] = {};
    buildVrocCommitRequest(request, vrocDiskId);
    uint32_t returned = 0;
    if (!sendMiniportRequest(port, request, sizeof request, sizeof request, &returned)) {
        printActivateIoctlFailure(platform::os().getLastError());
        return kResultFailed;
    }
    return reportCommitStatus(getU32(request, req::srb::kReturnCode), completionStatusOf(request));
}

} // namespace qir
