// The Intel VROC driver: on its SCSI port devices the "NvmeRAID" counts and member lists
// and the NVMe admin pass-through; on its storage port nothing of the RST driver.
#include "discovery/byte_io.h"
#include "platform/win_constants.h"
#include "sim/drivers.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

namespace {

using namespace wire;
using namespace wire::nvme_pt;

const std::vector<FieldSpot> kPassThroughFields = {{"ReturnCode", srb::kReturnCode, 4},
                                                   {"CplDw3", kCompletionDw3, 4}};

void putEntry(IoRequest& r, uint32_t at, const VrocEntry& entry) {
    uint8_t* b = r.buf.data();
    if (entry.bytes) {
        std::copy(entry.bytes->begin(), entry.bytes->end(), b + at);
        return;
    }
    const NvmeDrive* drive =
        entry.drive >= 0 ? &r.machine.drives[static_cast<size_t>(entry.drive)] : nullptr;
    std::string model = entry.model ? *entry.model : drive ? drive->config().model : "";
    std::string serial = entry.serial ? *entry.serial : drive ? drive->config().serial : "";
    putU32(b, at + kEntryDiskId, entry.diskId);
    for (uint32_t i = 0; i < 40; ++i)
        b[at + kEntryModel + i] = i < model.size() ? static_cast<uint8_t>(model[i]) : ' ';
    // The serial text is zero-ended when it leaves room for the zero.
    for (uint32_t i = 0; i < kEntrySerialMax && i < serial.size(); ++i)
        b[at + kEntrySerial + i] = static_cast<uint8_t>(serial[i]);
    putU32(b, at + kEntryAddress, entry.address);
}

// Writes as many entries as both the stated room and the buffer hold.
void putEntries(IoRequest& r, uint32_t first, uint32_t room, const std::vector<VrocEntry>& list) {
    uint32_t end = srb::kSize + getU32(r.buf.data(), srb::kLength);
    uint32_t written = 0;
    for (size_t j = 0; j < list.size(); ++j) {
        uint64_t at = first + uint64_t{kEntrySize} * j;
        if (uint64_t{kEntrySize} * (j + 1) > room || at + kEntrySize > end)
            break;
        putEntry(r, static_cast<uint32_t>(at), list[j]);
        ++written;
    }
    r.noteDec("entries", written);
}

const VrocVolume* selectedVolume(const IoRequest& r) {
    uint32_t v = getU32(r.buf.data(), kVolumeSelect);
    const auto& volumes = r.device().vroc.raidVolumes;
    if (v < 1 || v > volumes.size())
        return nullptr;
    return &volumes[v - 1];
}

IoAnswer enumeration(IoRequest& r, uint32_t code) {
    uint8_t* b = r.buf.data();
    uint32_t end = srb::kSize + getU32(b, srb::kLength);
    const VrocController& vroc = r.device().vroc;
    IoAnswer answer;
    auto done = [&](const std::vector<FieldSpot>& spots) {
        putU32(b, srb::kReturnCode, 0);
        r.returned = r.outSize;
        applyFieldFaults(r, spots);
        return answer;
    };
    switch (code) {
    case kRaidCount:
        r.kind = RequestKind::VrocRaidCount;
        if (r.machine.preempt(r, &answer))
            return answer;
        if (end < kCountValue + 4)
            return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
        putU32(b, kCountValue, static_cast<uint32_t>(vroc.raidVolumes.size()));
        r.noteDec("count", vroc.raidVolumes.size());
        return done({{"count", kCountValue, 4}});
    case kVolumeInfo: {
        r.kind = RequestKind::VrocVolumeInfo;
        if (r.machine.preempt(r, &answer))
            return answer;
        if (end < kVolumeInfoSize)
            return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
        const VrocVolume* volume = selectedVolume(r);
        uint32_t count = volume ? static_cast<uint32_t>(volume->members.size()) : 0;
        putU32(b, kVolumeMemberCount, count);
        r.noteDec("member_count", count);
        return done({{"member_count", kVolumeMemberCount, 4}});
    }
    case kMemberList: {
        r.kind = RequestKind::VrocMemberList;
        if (r.machine.preempt(r, &answer))
            return answer;
        if (end < kMemberListEntries)
            return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
        const VrocVolume* volume = selectedVolume(r);
        uint32_t room = getU32(b, kMemberListBytes);
        r.noteDec("room", room);
        if (volume)
            putEntries(r, kMemberListEntries, room, volume->members);
        return done({{"ReturnCode", srb::kReturnCode, 4}});
    }
    case kNonRaidCount:
        r.kind = RequestKind::VrocNonRaidCount;
        if (r.machine.preempt(r, &answer))
            return answer;
        if (end < kCountValue + 4)
            return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
        putU32(b, kCountValue, static_cast<uint32_t>(vroc.nonRaid.size()));
        r.noteDec("count", vroc.nonRaid.size());
        return done({{"count", kCountValue, 4}});
    case kNonRaidList: {
        r.kind = RequestKind::VrocNonRaidList;
        if (r.machine.preempt(r, &answer))
            return answer;
        if (end < kNonRaidListEntries)
            return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
        uint32_t room = getU32(b, kNonRaidListBytes);
        r.noteDec("room", room);
        putEntries(r, kNonRaidListEntries, room, vroc.nonRaid);
        return done({{"ReturnCode", srb::kReturnCode, 4}});
    }
    default:
        r.kind = RequestKind::VrocUnknown;
        putU32(b, srb::kReturnCode, kInvalidIoctlCode);
        r.returned = r.outSize;
        return answer;
    }
}

NvmeDrive* driveWithDiskId(IoRequest& r, uint32_t diskId) {
    const VrocController& vroc = r.device().vroc;
    for (const VrocVolume& volume : vroc.raidVolumes)
        for (const VrocEntry& e : volume.members)
            if (e.diskId == diskId && e.drive >= 0)
                return &r.machine.drives[static_cast<size_t>(e.drive)];
    for (const VrocEntry& e : vroc.nonRaid)
        if (e.diskId == diskId && e.drive >= 0)
            return &r.machine.drives[static_cast<size_t>(e.drive)];
    return nullptr;
}

void complete(IoRequest& r, const NvmeStatus& status, uint16_t commandId) {
    uint8_t* b = r.buf.data();
    // The phase tag is set as a real completion entry has it; only bits 31:17 are status.
    uint32_t dw3 = commandId | (1u << 16) | (static_cast<uint32_t>(status.field()) << 17);
    putU32(b, kCompletion, 0);
    putU32(b, kCompletion + 4, 0);
    putU32(b, kCompletion + 8, 0);
    putU32(b, kCompletionDw3, dw3);
    putU32(b, srb::kReturnCode, 0);
}

IoAnswer passThrough(IoRequest& r) {
    uint8_t* b = r.buf.data();
    uint8_t opcode = r.buf.size() > kCommand ? getU8(b, kCommand) : 0;
    r.kind = opcode == nvme::kOpIdentify           ? RequestKind::VrocIdentify
             : opcode == nvme::kOpFirmwareDownload ? RequestKind::VrocDownload
             : opcode == nvme::kOpFirmwareCommit   ? RequestKind::VrocCommit
                                                   : RequestKind::VrocNvme;
    IoAnswer answer;
    auto driverStatus = [&](uint32_t code) {
        putU32(b, srb::kReturnCode, code);
        r.returned = r.outSize;
        applyFieldFaults(r, kPassThroughFields);
        return answer;
    };
    uint32_t end = srb::kSize + getU32(b, srb::kLength);
    uint32_t diskId = getU32(b, srb::kReturnCode);
    r.note("sig=NvmeRAID");
    r.noteHex("opcode", opcode);
    r.noteDec("diskId", diskId);
    if (r.machine.preempt(r, &answer))
        return answer;
    if (end < kDataBuffer || r.inSize < kDataBuffer)
        return driverStatus(kInsufficientInBuffer);
    uint32_t direction = getU32(b, kDirection);
    uint32_t dataLen = getU32(b, kDataBufferLen);
    uint32_t returnLen = getU32(b, kReturnBufferLen);
    uint32_t cdw10 = getU32(b, kCommand + nvme::kCdw10);
    uint32_t cdw11 = getU32(b, kCommand + nvme::kCdw11);
    uint16_t commandId = static_cast<uint16_t>(getU32(b, kCommand) >> 16);
    r.noteDec("direction", direction);
    r.noteDec("DataBufferLen", dataLen);
    r.noteDec("ReturnBufferLen", returnLen);
    r.noteHex("cdw10", cdw10);
    r.noteHex("cdw11", cdw11);
    if (getU32(b, kMetaDataLen) != 0)
        return driverStatus(kInvalidMetaBufferLength);
    if (returnLen < kDataBuffer || returnLen > r.outSize)
        return driverStatus(kInsufficientOutBuffer);
    if (uint64_t{kDataBuffer} + dataLen > r.inSize || uint64_t{kDataBuffer} + dataLen > end)
        return driverStatus(kInsufficientInBuffer);
    NvmeDrive* drive = driveWithDiskId(r, diskId);
    if (!drive)
        return driverStatus(kInvalidPathTargetId);
    switch (opcode) {
    case nvme::kOpIdentify: {
        if (direction != kDirectionFromDevice)
            return driverStatus(kInvalidDirection);
        if (returnLen < kDataBuffer + nvme::kIdentifySize)
            return driverStatus(kInsufficientOutBuffer);
        if ((cdw10 & 0xFF) != 1 || getU32(b, kCommand + nvme::kNsid) != 0) {
            complete(r, nvmeFailure(nvme::kTypeGeneric, nvme::kInvalidField), commandId);
        } else {
            auto data = drive->identifyController();
            std::copy(data.begin(), data.end(), r.buf.begin() + kDataBuffer);
            complete(r, NvmeStatus{}, commandId);
        }
        r.returned = returnLen;
        applyFieldFaults(r, kPassThroughFields, kDataBuffer);
        return answer;
    }
    case nvme::kOpFirmwareDownload: {
        if (direction != kDirectionToDevice)
            return driverStatus(kInvalidDirection);
        uint64_t bytes = (uint64_t{cdw10} + 1) * 4;
        uint64_t offset = uint64_t{cdw11} * 4;
        r.noteDec("bytes", bytes);
        r.noteHex("offset", offset);
        // The drive transfers NUMD + 1 dwords; a command that claims more or fewer than
        // the driver carries is an invalid field.
        NvmeStatus status = bytes != dataLen ? nvmeFailure(nvme::kTypeGeneric, nvme::kInvalidField)
                                             : drive->download(offset, b + kDataBuffer, bytes);
        complete(r, status, commandId);
        r.returned = returnLen;
        applyFieldFaults(r, kPassThroughFields);
        return answer;
    }
    case nvme::kOpFirmwareCommit: {
        if (dataLen != 0)
            return driverStatus(kInsufficientInBuffer);
        uint8_t slot = cdw10 & 0x7;
        uint8_t action = (cdw10 >> 3) & 0x7;
        r.noteDec("slot", slot);
        r.noteDec("action", action);
        CommitResult result = drive->commit(slot, action);
        complete(r, result.status, commandId);
        r.returned = returnLen;
        applyFieldFaults(r, kPassThroughFields);
        return answer;
    }
    default:
        return driverStatus(kUnsupportedAdminCmd);
    }
}

} // namespace

IoAnswer vrocScsiRequest(IoRequest& r) {
    if (r.controlCode != kScsiMiniport)
        return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
    if (!srbHeaderFits(r))
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    std::string sig = signatureOf(r);
    if (sig != "NvmeRAID") {
        r.note("sig=" + sig);
        return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
    }
    uint32_t code = getU32(r.buf.data(), srb::kControlCode);
    if (code == kPassThroughCode)
        return passThrough(r);
    r.note("sig=NvmeRAID");
    return enumeration(r, code);
}

IoAnswer vrocPortRequest(IoRequest& r) {
    if (r.controlCode == kScsiMiniport && r.buf.size() >= srb::kSize) {
        std::string sig = signatureOf(r);
        r.kind = sig == std::string("CSMIARY\0", 8) ? RequestKind::Csmi
                 : sig == "IntelNvm"                ? RequestKind::RstIdentify
                 : sig == "IntelFw "                ? RequestKind::RstFirmware
                                                    : RequestKind::Unknown;
        r.note("sig=" + sig);
    }
    return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
}

} // namespace qir::sim
