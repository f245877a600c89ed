#include "bench/route_cases.h"

#include <cstring>

#include "discovery/driver_requests.h"
#include "firmware/firmware_image.h"
#include "firmware/inbox_update.h"
#include "firmware/piece_plan.h"
#include "raid/irst_update.h"
#include "raid/vroc_update.h"

namespace qir::bench {

const char* routeName(Route route) {
    switch (route) {
    case Route::Inbox:
        return "inbox";
    case Route::Irst:
        return "irst";
    default:
        return "vroc";
    }
}

uint32_t requestOverheadOf(Route route) {
    switch (route) {
    case Route::Inbox:
        return req::inbox_fw::kOverhead;
    case Route::Irst:
        return req::rst_fw::kDownloadOverhead;
    default:
        return req::vroc::kPieceOverhead;
    }
}

uint32_t pieceOffsetOf(Route route) {
    switch (route) {
    case Route::Inbox:
        return req::inbox_fw::kDownloadImage;
    case Route::Irst:
        return req::rst_fw::kDownloadImage;
    default:
        return req::vroc::kDataBuffer;
    }
}

TargetDisk benchTarget(Route route, uint32_t updateGranularity) {
    TargetDisk target;
    target.modelNumber = u"KORVANE TX7Q3 1TB";
    target.serialNumber = u"KVBENCH00001";
    target.firmwareRevision = u"VDL7W2QA";
    target.updateGranularity = updateGranularity;
    switch (route) {
    case Route::Inbox:
        target.driverKind = InboxNvme;
        target.devicePath = u"\\\\.\\PHYSICALDRIVE1";
        break;
    case Route::Irst:
        target.driverKind = RstNonRaid;
        target.devicePath =
            u"\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
        target.pathId = 3;
        break;
    case Route::Vroc:
        target.driverKind = VrocNonRaid;
        target.vrocDiskId = 1;
        break;
    }
    return target;
}

uint32_t runRoute(Route route, const TargetDisk& target) {
    uint32_t imageSize = kFirmwareImageSize;
    switch (route) {
    case Route::Inbox:
        return updateInboxDisk(target, &imageSize);
    case Route::Irst:
        return updateIrstDisk(target, &imageSize);
    default:
        return updateVrocDisk(target, &imageSize, 0);
    }
}

uint8_t baselineLoop(uint8_t* request, Route route, uint32_t updateGranularity) {
    const uint32_t pieceSize = pieceSizeOf(updateGranularity);
    const uint32_t overhead = requestOverheadOf(route);
    const uint32_t at = pieceOffsetOf(route);
    const uint8_t* image = workingCopy();
    uint32_t length = 0;
    for (uint32_t offset = 0; offset < kFirmwareImageSize; offset += length) {
        length = pieceLengthAt(offset, pieceSize, kFirmwareImageSize);
        std::memset(request, 0, pieceSize + overhead);
        std::memcpy(request + at, image + offset, length);
    }
    return request[at + length - 1];
}

} // namespace qir::bench
