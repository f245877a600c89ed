#include "bench/free_drive_platform.h"

#include <cstring>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"

namespace qir::bench {

namespace {

constexpr uint8_t kWritableSlot = 2;

bool isInboxGetInfo(const uint8_t* request, uint32_t size) {
    using namespace req::inbox_fw;
    return size >= kOverhead && std::memcmp(request + req::srb::kSignature, kSignature, 8) == 0 &&
           getU32(request, Block::kFunction) == req::FIRMWARE_FUNCTION_GET_INFO;
}

} // namespace

bool FreeDrivePlatform::deviceIoControl(platform::Handle, uint32_t controlCode, void* inBuffer,
                                        uint32_t inSize, void*, uint32_t outSize,
                                        uint32_t* bytesReturned) {
    auto* request = static_cast<uint8_t*>(inBuffer);
    // A driver reports success in the header, whatever the tool left there on the way in.
    if (controlCode == req::IOCTL_SCSI_MINIPORT && inSize >= req::srb::kHeaderSize)
        putU32(request, req::srb::kReturnCode, 0);
    if (controlCode == req::IOCTL_SCSI_MINIPORT && isInboxGetInfo(request, inSize)) {
        using namespace req::inbox_fw;
        const uint32_t info = getU32(request, Block::kDataBufferOffset);
        const uint64_t slot = uint64_t{info} + kInfoHeaderSize;
        if (slot + kInfoSlotSize <= inSize) {
            putU8(request, info + kInfoUpgradeSupport, 1);
            putU8(request, info + kInfoSlotCount, 1);
            putU8(request, slot + kSlotNumber, kWritableSlot);
            putU8(request, slot + kSlotReadOnly, 0);
        }
    }
    if (bytesReturned)
        *bytesReturned = outSize;
    return true;
}

} // namespace qir::bench
