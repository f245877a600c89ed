#include "scan/guard_platform.h"

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "scan/drive_text.h"

namespace qir::scan {

namespace {

bool hasSignature(const uint8_t* request, const char (&signature)[9]) {
    for (uint32_t i = 0; i < 8; ++i)
        if (request[req::srb::kSignature + i] != static_cast<uint8_t>(signature[i]))
            return false;
    return true;
}

// What a miniport request carries besides its header, in the terms requestName and the
// guard need: the firmware function or the NVMe opcode, and where each lies.
struct MiniportKind {
    const char (*signature)[9];
    uint32_t controlCode;
    uint32_t functionOffset; // of the FIRMWARE_REQUEST_BLOCK's Function, or 0
    uint32_t opcodeOffset;   // of the NVMe command's opcode, or 0
};

const MiniportKind kMiniportKinds[] = {
    {&req::inbox_fw::kSignature, req::inbox_fw::kControlCode, req::inbox_fw::Block::kFunction, 0},
    {&req::rst_fw::kSignature, req::rst_fw::kControlCode, req::rst_fw::Block::kFunction, 0},
    {&req::rst_nvme::kSignature, req::rst_nvme::kControlCode, 0, req::rst_nvme::kCommandDword0},
    {&req::vroc::kSignature, req::vroc::kPassThroughCode, 0, req::vroc::kCommandOpcode},
};

const MiniportKind* miniportKindOf(const uint8_t* request, uint32_t inSize) {
    if (inSize < req::srb::kHeaderSize)
        return nullptr;
    const uint32_t code = getU32(request, req::srb::kControlCode);
    for (const MiniportKind& kind : kMiniportKinds)
        if (kind.controlCode == code && hasSignature(request, *kind.signature))
            return &kind;
    return nullptr;
}

} // namespace

std::string requestName(uint32_t controlCode, const void* in, uint32_t inSize) {
    switch (controlCode) {
    case req::IOCTL_STORAGE_GET_DEVICE_NUMBER:
        return "IOCTL_STORAGE_GET_DEVICE_NUMBER";
    case req::IOCTL_STORAGE_QUERY_PROPERTY:
        return "IOCTL_STORAGE_QUERY_PROPERTY";
    case req::IOCTL_STORAGE_FIRMWARE_DOWNLOAD:
        return "IOCTL_STORAGE_FIRMWARE_DOWNLOAD";
    case req::IOCTL_STORAGE_FIRMWARE_ACTIVATE:
        return "IOCTL_STORAGE_FIRMWARE_ACTIVATE";
    case req::IOCTL_STORAGE_PROTOCOL_COMMAND:
        return "IOCTL_STORAGE_PROTOCOL_COMMAND";
    case req::IOCTL_SCSI_MINIPORT:
        break;
    default:
        return "control code " + hexText(controlCode);
    }
    const uint8_t* request = static_cast<const uint8_t*>(in);
    if (!request || inSize < req::srb::kHeaderSize)
        return "IOCTL_SCSI_MINIPORT";
    std::string signature;
    for (uint32_t i = 0; i < 8; ++i) {
        const uint8_t c = request[req::srb::kSignature + i];
        if (c == 0)
            break;
        signature += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    std::string name = "IOCTL_SCSI_MINIPORT \"" + signature + "\" " +
                       hexText(getU32(request, req::srb::kControlCode));
    if (const MiniportKind* kind = miniportKindOf(request, inSize)) {
        if (kind->functionOffset && kind->functionOffset + 4 <= inSize)
            name += " function " + std::to_string(getU32(request, kind->functionOffset));
        if (kind->opcodeOffset && kind->opcodeOffset < inSize)
            name += " opcode " + hexText(getU8(request, kind->opcodeOffset));
    }
    return name;
}

bool isFirmwareWriteRequest(uint32_t controlCode, const void* in, uint32_t inSize) {
    if (controlCode == req::IOCTL_STORAGE_FIRMWARE_DOWNLOAD ||
        controlCode == req::IOCTL_STORAGE_FIRMWARE_ACTIVATE ||
        controlCode == req::IOCTL_STORAGE_PROTOCOL_COMMAND)
        return true;
    if (controlCode != req::IOCTL_SCSI_MINIPORT || !in)
        return false;
    const uint8_t* request = static_cast<const uint8_t*>(in);
    const MiniportKind* kind = miniportKindOf(request, inSize);
    if (!kind)
        return false;
    if (kind->functionOffset) {
        if (kind->functionOffset + 4 > inSize)
            return true;
        return getU32(request, kind->functionOffset) != req::FIRMWARE_FUNCTION_GET_INFO;
    }
    if (kind->opcodeOffset >= inSize)
        return true;
    const uint8_t opcode = getU8(request, kind->opcodeOffset);
    return opcode == req::vroc::kFirmwareDownloadOpcode ||
           opcode == req::vroc::kFirmwareCommitOpcode;
}

platform::Handle GuardPlatform::createFile(const std::u16string& path, uint32_t access,
                                           uint32_t shareMode, uint32_t disposition,
                                           uint32_t flagsAndAttributes) {
    refusedLast_ = false;
    platform::Handle handle =
        inner().createFile(path, access, shareMode, disposition, flagsAndAttributes);
    if (handle == platform::kInvalidHandle)
        failures_.push_back({path, "open", inner().getLastError(), 0});
    else
        paths_[handle] = path;
    return handle;
}

bool GuardPlatform::deviceIoControl(platform::Handle handle, uint32_t controlCode, void* inBuffer,
                                    uint32_t inSize, void* outBuffer, uint32_t outSize,
                                    uint32_t* bytesReturned) {
    auto path = paths_.find(handle);
    const std::u16string& where = path != paths_.end() ? path->second : std::u16string();
    if (isFirmwareWriteRequest(controlCode, inBuffer, inSize)) {
        refused_.push_back(
            {where, requestName(controlCode, inBuffer, inSize), kRefusalError, controlCode});
        refusedLast_ = true;
        if (bytesReturned)
            *bytesReturned = 0;
        return false;
    }
    refusedLast_ = false;
    bool ok = inner().deviceIoControl(handle, controlCode, inBuffer, inSize, outBuffer, outSize,
                                      bytesReturned);
    if (!ok)
        failures_.push_back({where, requestName(controlCode, inBuffer, inSize),
                             inner().getLastError(), controlCode});
    return ok;
}

bool GuardPlatform::closeHandle(platform::Handle handle) {
    paths_.erase(handle);
    refusedLast_ = false;
    return inner().closeHandle(handle);
}

uint32_t GuardPlatform::getLastError() {
    return refusedLast_ ? kRefusalError : inner().getLastError();
}

} // namespace qir::scan
