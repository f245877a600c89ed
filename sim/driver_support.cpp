#include <cstdlib>

#include "discovery/byte_io.h"
#include "sim/drivers.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

void applyFieldFaults(IoRequest& r, const std::vector<FieldSpot>& spots, uint32_t identifyBase) {
    for (const SimFault* f : r.fieldFaults) {
        for (const auto& [name, value] : f->fields) {
            uint32_t offset = 0;
            uint32_t width = 0;
            if (identifyBase && name.rfind("identify:", 0) == 0) {
                offset = identifyBase +
                         static_cast<uint32_t>(std::strtoul(name.c_str() + 9, nullptr, 0));
                width = 1;
            }
            for (const FieldSpot& spot : spots)
                if (name == spot.name) {
                    offset = spot.offset;
                    width = spot.width;
                }
            if (width == 0 || offset + width > r.buf.size())
                continue;
            uint64_t v = static_cast<uint64_t>(value);
            switch (width) {
            case 1:
                putU8(r.buf.data(), offset, static_cast<uint8_t>(v));
                break;
            case 2:
                putU16(r.buf.data(), offset, static_cast<uint16_t>(v));
                break;
            case 4:
                putU32(r.buf.data(), offset, static_cast<uint32_t>(v));
                break;
            default:
                putU64(r.buf.data(), offset, v);
                break;
            }
            r.note("fault=" + name);
        }
    }
}

std::string signatureOf(const IoRequest& r) {
    if (r.buf.size() < wire::srb::kSize)
        return std::string();
    return std::string(reinterpret_cast<const char*>(r.buf.data()) + wire::srb::kSignature, 8);
}

bool srbHeaderFits(const IoRequest& r) {
    if (r.inSize < wire::srb::kSize)
        return false;
    const uint8_t* b = r.buf.data();
    if (getU32(b, wire::srb::kHeaderLength) != wire::srb::kSize)
        return false;
    uint64_t length = getU32(b, wire::srb::kLength);
    return wire::srb::kSize + length <= r.buf.size();
}

FirmwareAnswer decodeFirmwareDownload(IoRequest& r, NvmeDrive& drive, uint32_t dataOffset,
                                      uint32_t dataLength) {
    using namespace wire;
    const uint8_t* b = r.buf.data();
    if (dataLength < fw::kDlV1Image)
        return FirmwareAnswer{fw_status::kInvalidParameter, false};
    uint32_t version = getU32(b, dataOffset + fw::kDlVersion);
    uint32_t imageAt = version == 2 ? fw::kDlV2Image : fw::kDlV1Image;
    uint64_t offset = getU64(b, dataOffset + fw::kDlOffset);
    uint64_t size = getU64(b, dataOffset + fw::kDlBufferSize);
    r.noteDec("version", version);
    r.noteHex("offset", offset);
    r.noteDec("size", size);
    if ((version != 1 && version != 2) || getU32(b, dataOffset + fw::kDlSize) < imageAt ||
        imageAt + size > dataLength)
        return FirmwareAnswer{fw_status::kInvalidParameter, false};
    NvmeStatus status = drive.download(offset, b + dataOffset + imageAt, size);
    return FirmwareAnswer{firmwareStatusOfDownload(status), true};
}

FirmwareAnswer decodeFirmwareActivate(IoRequest& r, NvmeDrive& drive, uint32_t dataOffset,
                                      uint32_t dataLength) {
    using namespace wire;
    const uint8_t* b = r.buf.data();
    if (dataLength < fw::kActStructSize || getU32(b, dataOffset + fw::kActVersion) != 1 ||
        getU32(b, dataOffset + fw::kActSize) < fw::kActStructSize)
        return FirmwareAnswer{fw_status::kInvalidParameter, false};
    uint8_t slot = getU8(b, dataOffset + fw::kActSlot);
    r.noteDec("slot", slot);
    if (slot == 0)
        return FirmwareAnswer{fw_status::kInvalidSlot, false};
    // With a freshly downloaded image the driver asks the drive to replace the slot and
    // activate it; without one, to switch to the image already in the slot.
    uint8_t action = drive.stagedBytes() ? 3 : 2;
    return FirmwareAnswer{firmwareStatusOfCommit(drive.commit(slot, action)), true};
}

uint32_t firmwareStatusOfCommit(const CommitResult& result) {
    using namespace wire;
    switch (result.outcome) {
    case CommitOutcome::Activated:
    case CommitOutcome::Pending:
    case CommitOutcome::Stored:
        return fw_status::kSuccess;
    case CommitOutcome::PendingPowerCycle:
        return fw_status::kPowerCycleRequired;
    case CommitOutcome::Refused:
        break;
    }
    if (result.status.type == nvme::kTypeCommandSpecific) {
        if (result.status.code == nvme::kInvalidSlot)
            return fw_status::kInvalidSlot;
        if (result.status.code == nvme::kInvalidImage)
            return fw_status::kInvalidImage;
    }
    if (result.status.type == nvme::kTypeGeneric && result.status.code == nvme::kInvalidField)
        return fw_status::kInvalidParameter;
    return fw_status::kDeviceError;
}

uint32_t firmwareStatusOfDownload(const NvmeStatus& status) {
    using namespace wire;
    if (status.ok())
        return fw_status::kSuccess;
    if (status.type == nvme::kTypeGeneric && status.code == nvme::kInvalidField)
        return fw_status::kInvalidParameter;
    if (status.type == nvme::kTypeCommandSpecific && status.code == nvme::kOverlappingRange)
        return fw_status::kIllegalRequest;
    if (status.type == nvme::kTypeCommandSpecific && status.code == nvme::kInvalidImage)
        return fw_status::kInvalidImage;
    return fw_status::kDeviceError;
}

} // namespace qir::sim
