#include "raid/vroc_update.h"

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/scsi_port_path.h"
#include "firmware/target_info_block.h"
#include "raid/nvme_raid_request.h"
#include "raid/raid_route.h"
#include "raid/route_messages.h"
#include "raid/status_tables.h"

namespace qir {

namespace {

// The driver's ReturnCode first, then the drive's own completion status.
bool vrocPieceAccepted(bool sent, const uint8_t* reply) {
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
}

static_assert(req::vroc::kCommitSize <= kMaxActivateRequestSize);

} // namespace

uint32_t updateVrocDisk(const TargetDisk& target, const uint32_t* imageSize, int32_t vrocPort) {
    printVrocTargetInfoBlock(target);
    const uint32_t diskId = target.vrocDiskId;
    RaidRoute route;
    route.devicePath = scsiPortPath(vrocPort);
    route.updateGranularity = target.updateGranularity;
    route.pieces.overhead = req::vroc::kPieceOverhead;
    route.pieces.build = [diskId](uint8_t* request, uint32_t offset, const uint8_t* piece,
                                  uint32_t length) {
        buildVrocDownloadRequest(request, diskId, offset, piece, length);
        return PieceRequestSize{vrocPieceRequestSize(length), req::vroc::kReplySize};
    };
    route.pieces.accepted = vrocPieceAccepted;
    route.activateRequestSize = req::vroc::kCommitSize;
    route.buildActivate = [diskId](uint8_t* request) { buildVrocCommitRequest(request, diskId); };
    route.judgeActivate = [](const uint8_t* reply) {
        return reportCommitStatus(getU32(reply, req::srb::kReturnCode), completionStatusOf(reply));
    };
    return runRaidRoute(route, imageSize);
}

} // namespace qir
