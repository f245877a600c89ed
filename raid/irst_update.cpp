#include "raid/irst_update.h"

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "firmware/target_info_block.h"
#include "raid/irst_requests.h"
#include "raid/raid_route.h"
#include "raid/route_messages.h"
#include "raid/status_tables.h"

namespace qir {

namespace {

// The RST driver addresses a drive by one byte; -1 (no address) thus becomes 0xFF.
uint8_t pathByteOf(const TargetDisk& target) {
    return static_cast<uint8_t>(static_cast<uint64_t>(target.pathId) & 0xFF);
}

static_assert(req::rst_fw::kActivateRequestSize <= kMaxActivateRequestSize);

} // namespace

uint32_t updateIrstDisk(const TargetDisk& target, const uint32_t* imageSize) {
    printTargetInfoBlock(target);
    const uint8_t pathByte = pathByteOf(target);
    RaidRoute route;
    route.devicePath = target.devicePath;
    route.updateGranularity = target.updateGranularity;
    route.pieces.overhead = req::rst_fw::kDownloadOverhead;
    route.pieces.build = [pathByte](uint8_t* request, uint32_t offset, const uint8_t* piece,
                                    uint32_t length) {
        buildIrstDownloadRequest(request, pathByte, offset, piece, length);
        const uint32_t size = irstDownloadRequestSize(length);
        return PieceRequestSize{size, size};
    };
    route.pieces.accepted = downloadPieceAccepted;
    route.activateRequestSize = req::rst_fw::kActivateRequestSize;
    route.buildActivate = [pathByte](uint8_t* request) {
        buildIrstActivateRequest(request, pathByte);
    };
    route.judgeActivate = [](const uint8_t* reply) {
        return reportActivationStatus(getU32(reply, req::srb::kReturnCode));
    };
    return runRaidRoute(route, imageSize);
}

} // namespace qir
