// The Intel RST driver on its controller's storage port: the CSMI RAID configuration,
// the "IntelNvm" NVMe pass-through and the "IntelFw " firmware requests, each drive
// addressed by its port (PathId) byte.
#include "discovery/byte_io.h"
#include "platform/win_constants.h"
#include "sim/drivers.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

namespace {

using namespace wire;

NvmeDrive* driveAtPort(IoRequest& r, uint8_t pathId) {
    for (const RstPort& port : r.device().rst.ports)
        if (port.pathId == pathId && port.drive >= 0)
            return &r.machine.drives[static_cast<size_t>(port.drive)];
    return nullptr;
}

// The drive a pass-through or firmware request addresses by its PathId byte (the driver
// knows only target 0, LUN 0 there), once the machine's faults have had their turn.
// nullptr when the request ends here, with its answer in `answer`.
NvmeDrive* reachDrive(IoRequest& r, IoAnswer* answer) {
    if (r.machine.preempt(r, answer))
        return nullptr;
    const uint8_t* b = r.buf.data();
    NvmeDrive* drive = getU8(b, rst::kTargetId) == 0 && getU8(b, rst::kLun) == 0
                           ? driveAtPort(r, getU8(b, rst::kPathId))
                           : nullptr;
    if (!drive)
        *answer = IoAnswer{false, win::ERROR_IO_DEVICE};
    return drive;
}

void putText(uint8_t* b, uint32_t offset, uint32_t width, const std::string& text) {
    for (uint32_t i = 0; i < width; ++i)
        b[offset + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

IoAnswer csmiRaidConfig(IoRequest& r) {
    r.kind = RequestKind::Csmi;
    r.note("sig=CSMIARY");
    IoAnswer answer;
    if (r.machine.preempt(r, &answer))
        return answer;
    uint8_t* b = r.buf.data();
    uint32_t end = srb::kSize + getU32(b, srb::kLength);
    if (getU32(b, srb::kControlCode) != csmi::kGetRaidConfig) {
        putU32(b, srb::kReturnCode, csmi::kStatusBadControlCode);
        r.returned = r.outSize;
        return answer;
    }
    if (end < csmi::kDrives)
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    uint32_t setIndex = getU32(b, csmi::kRaidSetIndex);
    r.noteDec("uRaidSetIndex", setIndex);
    const RstController& rst = r.device().rst;
    if (rst.raidMembers.empty() || setIndex != 0) {
        putU32(b, srb::kReturnCode, csmi::kRaidSetOutOfRange);
        r.returned = r.outSize;
        applyFieldFaults(r, {{"ReturnCode", srb::kReturnCode, 4}});
        return answer;
    }
    std::fill(r.buf.begin() + csmi::kRaidSetIndex, r.buf.begin() + end, 0);
    putU32(b, csmi::kRaidSetIndex, setIndex);
    putU8(b, csmi::kRaidType, rst.raidMembers.size() > 2 ? 5 : 0);
    putU8(b, csmi::kDriveCount, static_cast<uint8_t>(rst.raidMembers.size()));
    // Every member is counted; as many records are filled as the caller left room for.
    uint32_t filled = 0;
    for (size_t i = 0; i < rst.raidMembers.size(); ++i) {
        uint32_t rec = csmi::kDrives + csmi::kDriveRecordSize * static_cast<uint32_t>(i);
        if (rec + csmi::kDriveRecordSize > end)
            break;
        uint8_t port = rst.raidMembers[i];
        if (const NvmeDrive* d = driveAtPort(r, port)) {
            putText(b, rec + csmi::kDriveModel, 40, d->config().model);
            putText(b, rec + csmi::kDriveFirmware, 8, d->slotRevision(d->activeSlot()));
            putText(b, rec + csmi::kDriveSerial, 40, d->config().serial);
        }
        putU8(b, rec + csmi::kDriveSasAddress + 2, port);
        putU8(b, rec + csmi::kDriveUsage, 1);
        ++filled;
    }
    putU32(b, srb::kReturnCode, csmi::kStatusSuccess);
    r.returned = r.outSize;
    r.noteDec("bDriveCount", rst.raidMembers.size());
    r.noteDec("records", filled);
    applyFieldFaults(r,
                     {{"ReturnCode", srb::kReturnCode, 4}, {"bDriveCount", csmi::kDriveCount, 1}});
    return answer;
}

IoAnswer nvmPassThrough(IoRequest& r) {
    r.kind = RequestKind::RstIdentify;
    r.note("sig=IntelNvm");
    uint8_t* b = r.buf.data();
    uint32_t end = srb::kSize + getU32(b, srb::kLength);
    if (end < rst::kNvmHeaderEnd)
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    uint8_t pathId = getU8(b, rst::kPathId);
    r.noteDec("PathId", pathId);
    uint8_t opcode = getU8(b, rst::kCommand + nvme::kCdw0);
    if (opcode != nvme::kOpIdentify)
        r.kind = RequestKind::RstNvme;
    IoAnswer answer;
    NvmeDrive* drive = reachDrive(r, &answer);
    if (!drive)
        return answer;
    uint32_t dataOffset = getU32(b, rst::kDataOffset);
    uint32_t dataLength = getU32(b, rst::kDataLength);
    uint32_t cns = getU32(b, rst::kCommand + nvme::kCdw10);
    r.noteDec("opcode", opcode);
    r.noteDec("cns", cns);
    r.noteDec("dataOffset", dataOffset);
    r.noteDec("dataLength", dataLength);
    if (getU8(b, rst::kVersion) != 1 || getU8(b, rst::kCommandSet) != 0 ||
        dataOffset < rst::kNvmHeaderEnd || uint64_t{dataOffset} + dataLength > end) {
        putU32(b, srb::kReturnCode, 1);
        r.returned = r.outSize;
        return answer;
    }
    if (opcode != nvme::kOpIdentify || cns != 1 || dataLength < nvme::kIdentifySize ||
        getU32(b, rst::kCommand + nvme::kNsid) != 0) {
        putU32(b, srb::kReturnCode, 1);
        r.returned = r.outSize;
        return answer;
    }
    auto data = drive->identifyController();
    std::copy(data.begin(), data.end(), r.buf.begin() + dataOffset);
    putU32(b, srb::kReturnCode, 0);
    r.returned = r.outSize;
    applyFieldFaults(r, {{"ReturnCode", srb::kReturnCode, 4}}, dataOffset);
    return answer;
}

IoAnswer firmwareRequest(IoRequest& r) {
    uint8_t* b = r.buf.data();
    uint32_t end = srb::kSize + getU32(b, srb::kLength);
    if (end < rst::kFwHeaderEnd)
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    const uint32_t blk = rst::kFwBlock;
    uint32_t function = getU32(b, blk + fw::kFunction);
    r.kind = function == fw::kFunctionDownload   ? RequestKind::RstDownload
             : function == fw::kFunctionActivate ? RequestKind::RstActivate
                                                 : RequestKind::RstFirmware;
    uint8_t pathId = getU8(b, rst::kPathId);
    r.note("sig=IntelFw");
    r.noteDec("fn", function);
    r.noteDec("PathId", pathId);
    IoAnswer answer;
    NvmeDrive* drive = reachDrive(r, &answer);
    if (!drive)
        return answer;
    auto status = [&](uint32_t value) {
        putU32(b, srb::kReturnCode, value);
        r.returned = r.outSize;
        applyFieldFaults(r, {{"ReturnCode", srb::kReturnCode, 4}});
        return answer;
    };
    uint32_t dataOffset = getU32(b, blk + fw::kDataBufferOffset);
    uint32_t dataLength = getU32(b, blk + fw::kDataBufferLength);
    r.noteDec("DataBufferOffset", dataOffset);
    r.noteDec("DataBufferLength", dataLength);
    if (getU8(b, rst::kVersion) != 1 || getU32(b, blk + fw::kVersion) != 1 ||
        getU32(b, blk + fw::kSize) < fw::kBlockSize ||
        !(getU32(b, blk + fw::kFlags) & fw::kFlagController) || dataOffset < rst::kFwHeaderEnd ||
        uint64_t{dataOffset} + dataLength > end)
        return status(fw_status::kInvalidParameter);
    if (function == fw::kFunctionDownload)
        return status(decodeFirmwareDownload(r, *drive, dataOffset, dataLength).status);
    if (function == fw::kFunctionActivate)
        return status(decodeFirmwareActivate(r, *drive, dataOffset, dataLength).status);
    return status(fw_status::kInvalidParameter);
}

} // namespace

IoAnswer rstDriverRequest(IoRequest& r) {
    if (r.controlCode != kScsiMiniport)
        return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
    if (!srbHeaderFits(r))
        return IoAnswer{false, win::ERROR_INVALID_PARAMETER};
    std::string sig = signatureOf(r);
    uint32_t code = getU32(r.buf.data(), srb::kControlCode);
    if (sig == std::string("CSMIARY\0", 8))
        return csmiRaidConfig(r);
    if (sig == "IntelNvm" && code == rst::kNvmControlCode)
        return nvmPassThrough(r);
    if (sig == "IntelFw " && code == rst::kFwControlCode)
        return firmwareRequest(r);
    r.note("sig=" + sig);
    return IoAnswer{false, win::ERROR_INVALID_FUNCTION};
}

} // namespace qir::sim
