// The Windows disk class driver and the inbox NVMe miniport as the tool meets them:
// the device number, the NVMe Identify Controller storage-property query, and the
// "FIRMWARE" miniport request with its get-info, download and activate functions.
#include "discovery/byte_io.h"
#include "platform/win_constants.h"
#include "sim/drivers.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

namespace {

using namespace wire;

NvmeDrive* driveOf(IoRequest& r) {
    int index = r.device().drive;
    if (index < 0 || static_cast<size_t>(index) >= r.machine.drives.size())
        return nullptr;
    return &r.machine.drives[static_cast<size_t>(index)];
}

IoAnswer queryProperty(IoRequest& r) {
    r.kind = RequestKind::StorageQuery;
    IoAnswer answer;
    if (r.machine.preempt(r, &answer))
        return answer;
    if (r.inSize < query::kSpecific)
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    uint8_t* b = r.buf.data();
    uint32_t propertyId = getU32(b, query::kPropertyId);
    uint32_t queryType = getU32(b, query::kQueryType);
    r.noteDec("PropertyId", propertyId);
    if (propertyId != query::kAdapterProtocolSpecific &&
        propertyId != query::kDeviceProtocolSpecific)
        return IoAnswer{false, win::ERROR_NOT_SUPPORTED};
    if (queryType != query::kStandardQuery || r.inSize < query::kSpecific + query::kSpecificSize)
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    const uint32_t s = query::kSpecific;
    uint32_t protocol = getU32(b, s + query::kProtocolType);
    uint32_t dataType = getU32(b, s + query::kDataType);
    uint32_t value = getU32(b, s + query::kRequestValue);
    uint32_t subValue = getU32(b, s + query::kRequestSubValue);
    uint32_t dataOffset = getU32(b, s + query::kDataOffset);
    uint32_t dataLength = getU32(b, s + query::kDataLength);
    r.noteDec("ProtocolType", protocol);
    r.noteDec("DataType", dataType);
    r.noteDec("value", value);
    r.noteDec("offset", dataOffset);
    r.noteDec("length", dataLength);
    // The data must follow the protocol-specific block and fit in the output buffer.
    if (protocol != query::kProtocolNvme || dataType != query::kNvmeIdentify || value != 1 ||
        subValue != 0 || dataOffset < query::kSpecificSize || dataLength < nvme::kIdentifySize ||
        uint64_t{s} + dataOffset + dataLength > r.outSize)
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    NvmeDrive* drive = driveOf(r);
    if (!drive)
        return IoAnswer{false, win::ERROR_IO_DEVICE};
    auto data = drive->identifyController();
    std::fill(r.buf.begin(), r.buf.end(), 0);
    putU32(b, 0, query::kDescriptorSize); // Version
    putU32(b, 4, query::kDescriptorSize); // Size
    putU32(b, s + query::kProtocolType, protocol);
    putU32(b, s + query::kDataType, dataType);
    putU32(b, s + query::kRequestValue, value);
    putU32(b, s + query::kDataOffset, dataOffset);
    putU32(b, s + query::kDataLength, nvme::kIdentifySize);
    std::copy(data.begin(), data.end(), r.buf.begin() + s + dataOffset);
    r.returned = s + dataOffset + nvme::kIdentifySize;
    applyFieldFaults(r, {{"Version", 0, 4}, {"Size", 4, 4}}, s + dataOffset);
    return answer;
}

// The FIRMWARE_REQUEST_BLOCK checks of the port driver; on failure the FIRMWARE_STATUS.
uint32_t checkRequestBlock(const IoRequest& r, uint32_t* dataOffset, uint32_t* dataLength) {
    const uint8_t* b = r.buf.data();
    const uint32_t blk = srb::kSize;
    if (r.buf.size() < blk + fw::kBlockSize)
        return fw_status::kInvalidParameter;
    if (getU32(b, blk + fw::kVersion) < 1 || getU32(b, blk + fw::kSize) < fw::kBlockSize)
        return fw_status::kInvalidParameter;
    if (!(getU32(b, blk + fw::kFlags) & fw::kFlagController))
        return fw_status::kInvalidParameter;
    *dataOffset = getU32(b, blk + fw::kDataBufferOffset);
    *dataLength = getU32(b, blk + fw::kDataBufferLength);
    if (*dataOffset < blk + fw::kBlockSize ||
        uint64_t{*dataOffset} + *dataLength > srb::kSize + getU32(b, srb::kLength))
        return fw_status::kInvalidParameter;
    return fw_status::kSuccess;
}

void setReturnCode(IoRequest& r, uint32_t status) {
    putU32(r.buf.data(), srb::kReturnCode, status);
    r.returned = r.outSize;
}

IoAnswer firmwareGetInfo(IoRequest& r, NvmeDrive& drive, uint32_t dataOffset, uint32_t dataLength) {
    uint8_t* b = r.buf.data();
    const GetInfoReply& told = drive.config().getInfo;
    // The driver places the reply at the next 8-byte boundary of the data area and says
    // so in DataBufferOffset.
    uint32_t base = told.offset ? *told.offset : (dataOffset + 7) & ~7u;
    uint32_t slots = told.records ? static_cast<uint32_t>(told.records->size())
                                  : static_cast<uint32_t>(drive.slotCount());
    uint32_t needed = fw::kInfoSlots + fw::kSlotRecordSize * slots;
    if (base < dataOffset || uint64_t{base} + needed > uint64_t{dataOffset} + dataLength) {
        setReturnCode(r, fw_status::kOutputBufferTooSmall);
        return IoAnswer{};
    }
    std::fill(r.buf.begin() + dataOffset, r.buf.begin() + dataOffset + dataLength, 0);
    putU32(b, srb::kSize + fw::kDataBufferOffset, base);
    putU32(b, srb::kSize + fw::kDataBufferLength, dataLength - (base - dataOffset));
    putU32(b, base + fw::kInfoVersion, 1);
    putU32(b, base + fw::kInfoSize, fw::kInfoSlots + fw::kSlotRecordSize);
    putU8(b, base + fw::kInfoUpgradeSupport,
          told.upgradeSupport.value_or(drive.upgradeSupport() ? 1 : 0));
    putU8(b, base + fw::kInfoSlotCount, told.slotCount.value_or(static_cast<uint8_t>(slots)));
    putU8(b, base + fw::kInfoActiveSlot,
          told.activeSlot.value_or(static_cast<uint8_t>(drive.activeSlot())));
    putU8(b, base + fw::kInfoPendingSlot,
          told.pendingSlot.value_or(drive.pendingSlot() ? static_cast<uint8_t>(drive.pendingSlot())
                                                        : fw::kNoPendingSlot));
    for (uint32_t i = 0; i < slots; ++i) {
        uint32_t rec = base + fw::kInfoSlots + fw::kSlotRecordSize * i;
        int slot = static_cast<int>(i) + 1;
        putU8(b, rec + fw::kSlotNumber,
              told.records ? (*told.records)[i].number : static_cast<uint8_t>(slot));
        putU8(b, rec + fw::kSlotReadOnly,
              told.records               ? (*told.records)[i].readOnly
              : drive.slotReadOnly(slot) ? 1
                                         : 0);
        std::string revision = drive.slotRevision(slot);
        for (size_t k = 0; k < revision.size() && k < 8; ++k)
            b[rec + fw::kSlotRevision + k] = static_cast<uint8_t>(revision[k]);
    }
    setReturnCode(r, fw_status::kSuccess);
    applyFieldFaults(r, {{"ReturnCode", srb::kReturnCode, 4},
                         {"DataBufferOffset", srb::kSize + fw::kDataBufferOffset, 4},
                         {"DataBufferLength", srb::kSize + fw::kDataBufferLength, 4},
                         {"UpgradeSupport", base + fw::kInfoUpgradeSupport, 1},
                         {"SlotCount", base + fw::kInfoSlotCount, 1},
                         {"ActiveSlot", base + fw::kInfoActiveSlot, 1},
                         {"PendingActivateSlot", base + fw::kInfoPendingSlot, 1}});
    return IoAnswer{};
}

// The port driver writes the status; only an answer of the drive is open to field faults.
IoAnswer answerOf(IoRequest& r, const FirmwareAnswer& answer) {
    setReturnCode(r, answer.status);
    if (answer.reachedDrive)
        applyFieldFaults(r, {{"ReturnCode", srb::kReturnCode, 4}});
    return IoAnswer{};
}

IoAnswer firmwareRequest(IoRequest& r) {
    const uint8_t* b = r.buf.data();
    uint32_t function =
        r.buf.size() >= srb::kSize + fw::kBlockSize ? getU32(b, srb::kSize + fw::kFunction) : 0;
    r.kind = function == fw::kFunctionGetInfo    ? RequestKind::InboxGetInfo
             : function == fw::kFunctionDownload ? RequestKind::InboxDownload
             : function == fw::kFunctionActivate ? RequestKind::InboxActivate
                                                 : RequestKind::InboxFirmware;
    r.note("sig=FIRMWARE");
    r.noteDec("fn", function);
    IoAnswer answer;
    if (r.machine.preempt(r, &answer))
        return answer;
    uint32_t dataOffset = 0;
    uint32_t dataLength = 0;
    uint32_t status = checkRequestBlock(r, &dataOffset, &dataLength);
    r.noteDec("DataBufferOffset", dataOffset);
    r.noteDec("DataBufferLength", dataLength);
    if (status != fw_status::kSuccess) {
        setReturnCode(r, status);
        return answer;
    }
    NvmeDrive* drive = driveOf(r);
    if (!drive)
        return IoAnswer{false, win::ERROR_IO_DEVICE};
    switch (function) {
    case fw::kFunctionGetInfo:
        return firmwareGetInfo(r, *drive, dataOffset, dataLength);
    case fw::kFunctionDownload:
        return answerOf(r, decodeFirmwareDownload(r, *drive, dataOffset, dataLength));
    case fw::kFunctionActivate:
        return answerOf(r, decodeFirmwareActivate(r, *drive, dataOffset, dataLength));
    default:
        setReturnCode(r, fw_status::kInvalidParameter);
        return answer;
    }
}

} // namespace

IoAnswer diskDeviceNumberRequest(IoRequest& r) {
    r.kind = RequestKind::GetDeviceNumber;
    IoAnswer answer;
    if (r.machine.preempt(r, &answer))
        return answer;
    const SimDevice& d = r.device();
    if (!d.deviceNumber)
        return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
    if (r.outSize < kDeviceNumberSize)
        return IoAnswer{false, win::ERROR_INSUFFICIENT_BUFFER};
    putU32(r.buf.data(), 0, kFileDeviceDisk);
    putU32(r.buf.data(), 4, *d.deviceNumber);
    putU32(r.buf.data(), 8, 0);
    r.returned = kDeviceNumberSize;
    r.noteDec("DeviceNumber", *d.deviceNumber);
    applyFieldFaults(r, {{"DeviceType", 0, 4}, {"DeviceNumber", 4, 4}, {"PartitionNumber", 8, 4}});
    return answer;
}

IoAnswer inboxDriverRequest(IoRequest& r) {
    if (r.controlCode == kQueryProperty)
        return queryProperty(r);
    if (r.controlCode != kScsiMiniport)
        return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
    if (!srbHeaderFits(r))
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    std::string sig = signatureOf(r);
    if (sig != "FIRMWARE" || getU32(r.buf.data(), srb::kControlCode) != fw::kControlCode) {
        r.note("sig=" + sig);
        return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
    }
    return firmwareRequest(r);
}

} // namespace qir::sim
