#include "firmware/inbox_firmware_info.h"

#include <cstring>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/request_buffer.h"
#include "discovery/result_codes.h"
#include "firmware/firmware_request_block.h"
#include "firmware/piece_plan.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"

namespace qir {

namespace {

// Piece sizes the 32-bit request fields can carry together with the request overhead.
constexpr uint32_t kMaxGranularity = (0xFFFFFFFFu - req::inbox_fw::kOverhead) / 4096u;

InboxSlotJudgement judged(InboxSlotChoice choice) {
    InboxSlotJudgement judgement;
    judgement.choice = choice;
    return judgement;
}

// The driver chooses where the STORAGE_FIRMWARE_INFO lies and how many slot records it
// claims; a reply whose header or records would lie past the request buffer is not a
// reply the tool can act on.
InboxSlotJudgement chooseSlot(const uint8_t* request, uint32_t requestSize) {
    using namespace req::inbox_fw;
    uint64_t info = getU32(request, Block::kDataBufferOffset);
    if (info + kInfoHeaderSize > requestSize)
        return judged(InboxSlotChoice::ReplyUnusable);
    uint8_t upgradeSupport = getU8(request, info + kInfoUpgradeSupport);
    uint8_t slotCount = getU8(request, info + kInfoSlotCount);
    if (upgradeSupport == 0)
        return judged(InboxSlotChoice::NoUpgradeSupport);
    if (slotCount == 0)
        return judged(InboxSlotChoice::NoSlots);
    if (info + kInfoHeaderSize + uint64_t{kInfoSlotSize} * slotCount > requestSize)
        return judged(InboxSlotChoice::ReplyUnusable);
    InboxSlotJudgement judgement = judged(InboxSlotChoice::AllReadOnly);
    for (uint32_t i = 0; i < slotCount; ++i) {
        uint64_t record = info + kInfoHeaderSize + uint64_t{kInfoSlotSize} * i;
        if (judgement.choice != InboxSlotChoice::Chosen &&
            getU8(request, record + kSlotReadOnly) == 0) {
            judgement.choice = InboxSlotChoice::Chosen;
            judgement.slot = getU8(request, record + kSlotNumber);
        }
        // The route has no use for it; the scan tells from it that an image is written
        // and waits for a restart.
        const uint8_t pending = getU8(request, info + kInfoPendingSlot);
        if (pending != 0 && pending != kNoPendingSlot &&
            getU8(request, record + kSlotNumber) == pending && judgement.pendingSlot == 0) {
            judgement.pendingSlot = pending;
            for (uint32_t k = 0; k < 8; ++k)
                judgement.pendingRevision +=
                    static_cast<char16_t>(getU8(request, record + kSlotRevision + k));
        }
    }
    return judgement;
}

} // namespace

uint32_t routeResultOf(InboxSlotChoice choice) {
    switch (choice) {
    case InboxSlotChoice::Chosen:
        return kResultSuccess;
    case InboxSlotChoice::NoUpgradeSupport:
    case InboxSlotChoice::NoSlots:
    case InboxSlotChoice::AllReadOnly:
        return kResultFailed;
    default:
        return kResultDeviceError;
    }
}

uint32_t inboxRequestSize(const TargetDisk& target) {
    if (target.updateGranularity == 0 || target.updateGranularity > kMaxGranularity)
        return 0;
    return pieceSizeOf(target.updateGranularity) + req::inbox_fw::kOverhead;
}

platform::Handle openInboxDevice(const std::u16string& devicePath) {
    return platform::os().createFile(devicePath, win::GENERIC_READ | win::GENERIC_WRITE,
                                     win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                     win::OPEN_EXISTING, 0);
}

void buildInboxFirmwareRequest(uint8_t* request, uint32_t size, uint32_t function) {
    std::memset(request, 0, size);
    putInboxFirmwareRequest(request, size, function);
}

void putInboxFirmwareRequest(uint8_t* request, uint32_t size, uint32_t function) {
    using namespace req::inbox_fw;
    buildSrbIoControl(request, kSignature, kTimeout, kControlCode, size);
    putFirmwareRequestBlock<Block>(request, size, function);
}

bool sendInboxFirmwareRequest(platform::Handle handle, uint8_t* request, uint32_t size,
                              uint32_t* returnCode) {
    uint32_t returned = 0;
    if (!sendMiniportRequest(handle, request, size, size, &returned))
        return false;
    *returnCode = getU32(request, req::srb::kReturnCode);
    return true;
}

InboxSlotJudgement getInfoAndChooseSlot(platform::Handle handle, uint8_t* request,
                                        uint32_t requestSize) {
    buildInboxFirmwareRequest(request, requestSize, req::FIRMWARE_FUNCTION_GET_INFO);
    uint32_t returnCode = 0;
    if (!sendInboxFirmwareRequest(handle, request, requestSize, &returnCode))
        return judged(InboxSlotChoice::RequestFailed);
    if (returnCode != req::FIRMWARE_STATUS_SUCCESS) {
        InboxSlotJudgement judgement = judged(InboxSlotChoice::StatusFailed);
        judgement.returnCode = returnCode;
        return judgement;
    }
    return chooseSlot(request, requestSize);
}

InboxSlotJudgement queryInboxSlot(const TargetDisk& target) {
    const uint32_t requestSize = inboxRequestSize(target);
    if (requestSize == 0)
        return judged(InboxSlotChoice::NoRequestSize);
    RequestBuffer buffer(requestSize);
    if (!buffer)
        return judged(InboxSlotChoice::RequestFailed);
    platform::Handle handle = openInboxDevice(target.devicePath);
    if (handle == platform::kInvalidHandle) {
        InboxSlotJudgement judgement = judged(InboxSlotChoice::NotOpened);
        judgement.windowsError = platform::os().getLastError();
        return judgement;
    }
    InboxSlotJudgement judgement = getInfoAndChooseSlot(handle, buffer.data(), requestSize);
    // The route reads no error here, so the judgement leaves it to whoever reports it.
    if (judgement.choice == InboxSlotChoice::RequestFailed)
        judgement.windowsError = platform::os().getLastError();
    platform::os().closeHandle(handle);
    return judgement;
}

} // namespace qir
