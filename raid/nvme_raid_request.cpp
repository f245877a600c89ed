#include "raid/nvme_raid_request.h"

#include <cstring>

#include "discovery/byte_io.h"
#include "raid/miniport.h"

namespace qir {

namespace v = req::vroc;

void buildNvmeRaidRequest(uint8_t* buffer, const NvmeRaidCommand& command) {
    buildSrbIoControl(buffer, v::kSignature, command.timeout, v::kPassThroughCode,
                      command.requestSize, command.vrocDiskId);
    putU8(buffer, v::kCommandOpcode, command.opcode);
    putU32(buffer, v::kCommandDword10, command.dword10);
    putU32(buffer, v::kCommandDword11, command.dword11);
    putU32(buffer, v::kDirection, command.direction);
    putU32(buffer, v::kQueueId, 0);
    putU32(buffer, v::kDataBufferLen, command.dataBufferLength);
    putU32(buffer, v::kMetaDataLen, 0);
    putU32(buffer, v::kReturnBufferLen, command.returnBufferLength);
}

uint32_t completionStatusOf(const uint8_t* buffer) {
    return getU32(buffer, v::kCompletionDword3) >> v::kCompletionStatusShift;
}

void buildVrocDownloadRequest(uint8_t* buffer, uint32_t vrocDiskId, uint32_t offset,
                              const uint8_t* piece, uint32_t pieceLength) {
    NvmeRaidCommand command;
    command.requestSize = vrocPieceRequestSize(pieceLength);
    command.timeout = v::kFirmwareTimeout;
    command.vrocDiskId = vrocDiskId;
    command.opcode = v::kFirmwareDownloadOpcode;
    command.dword10 = pieceLength / 4 - 1;
    command.dword11 = offset / 4;
    command.direction = v::kDirectionToDevice;
    command.dataBufferLength = pieceLength;
    command.returnBufferLength = v::kReplySize;
    buildNvmeRaidRequest(buffer, command);
    std::memcpy(buffer + v::kDataBuffer, piece, pieceLength);
}

void buildVrocCommitRequest(uint8_t* buffer, uint32_t vrocDiskId) {
    NvmeRaidCommand command;
    command.requestSize = v::kCommitSize;
    command.timeout = v::kFirmwareTimeout;
    command.vrocDiskId = vrocDiskId;
    command.opcode = v::kFirmwareCommitOpcode;
    command.dword10 = v::kCommitSlot2ReplaceActivateAtReset;
    command.direction = v::kDirectionToDevice;
    command.returnBufferLength = v::kReplySize;
    buildNvmeRaidRequest(buffer, command);
}

void buildVrocIdentifyRequest(uint8_t* buffer, uint32_t vrocDiskId) {
    NvmeRaidCommand command;
    command.requestSize = v::kIdentifySize;
    command.timeout = v::kEnumerationTimeout;
    command.vrocDiskId = vrocDiskId;
    command.opcode = req::identify::kOpcode;
    command.dword10 = req::identify::kCnsController;
    command.direction = v::kDirectionFromDevice;
    command.returnBufferLength = v::kIdentifySize;
    buildNvmeRaidRequest(buffer, command);
    std::memset(buffer + v::kDataBuffer, v::kIdentifyFill, v::kIdentifyFillEnd - v::kDataBuffer);
    std::memset(buffer + v::kIdentifyFillEnd, 0, v::kIdentifySize - v::kIdentifyFillEnd);
}

} // namespace qir
