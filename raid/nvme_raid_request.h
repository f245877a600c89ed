// NvmeRaidRequest: one NVMe admin command passed through the VROC driver, addressed by
// the driver's disk id. Built into a caller's zero-filled buffer.
#pragma once

#include <cstdint>

#include "discovery/driver_requests.h"

namespace qir {

struct NvmeRaidCommand {
    uint32_t requestSize = 0;
    uint32_t timeout = 0;
    uint32_t vrocDiskId = 0;
    uint8_t opcode = 0;
    uint32_t dword10 = 0;
    uint32_t dword11 = 0;
    uint32_t direction = 0;
    uint32_t dataBufferLength = 0;
    uint32_t returnBufferLength = 0;
};

void buildNvmeRaidRequest(uint8_t* buffer, const NvmeRaidCommand& command);

// The drive's status without the phase tag: bits 31:17 of completion dword 3.
uint32_t completionStatusOf(const uint8_t* buffer);

inline uint32_t vrocPieceRequestSize(uint32_t pieceLength) {
    return pieceLength + req::vroc::kPieceOverhead;
}

// buffer holds vrocPieceRequestSize(pieceLength) bytes.
void buildVrocDownloadRequest(uint8_t* buffer, uint32_t vrocDiskId, uint32_t offset,
                              const uint8_t* piece, uint32_t pieceLength);
// buffer holds the 153-byte commit request.
void buildVrocCommitRequest(uint8_t* buffer, uint32_t vrocDiskId);
// buffer holds the 4252-byte identify request; its data area is pre-filled so that a
// drive that does not answer is recognisable.
void buildVrocIdentifyRequest(uint8_t* buffer, uint32_t vrocDiskId);

} // namespace qir
