#include "raid/vroc_update.h"

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/result_codes.h"
#include "discovery/scsi_port_path.h"
#include "firmware/firmware_image.h"
#include "firmware/piece_loop.h"
#include "firmware/target_info_block.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"
#include "raid/nvme_raid_request.h"
#include "raid/route_messages.h"
#include "raid/status_tables.h"

namespace qir {

namespace {

bool sendPieces(platform::Handle port, const TargetDisk& target, uint32_t imageSize) {
    PieceRoute route;
    route.overhead = req::vroc::kPieceOverhead;
    route.build = [diskId = target.vrocDiskId](uint8_t* request, uint32_t offset,
                                               const uint8_t* piece, uint32_t length) {
        buildVrocDownloadRequest(request, diskId, offset, piece, length);
        return PieceRequestSize{vrocPieceRequestSize(length), req::vroc::kReplySize};
    };
    route.accepted = [](bool sent, const uint8_t* reply) {
        if (!downloadPieceAccepted(sent, reply))
            return false;
        const uint32_t status = completionStatusOf(reply);
        if (status != 0) {
            formattedOut(u"  [ERROR] Firmware download failed: "
                         u"(nvmePassThroughIoctl->CplEntry[3]) >> 17: 0x%08x\n",
                         status);
            return false;
        }
        return true;
    };
    return sendImagePieces(port, target.updateGranularity, imageSize, route);
}

} // namespace

uint32_t updateVrocDisk(const TargetDisk& target, const uint32_t* imageSize, int32_t vrocPort) {
    printVrocTargetInfoBlock(target);
    if (!fitsWorkingCopy(imageSize))
        return kResultDeviceError;
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
