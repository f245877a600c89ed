// The inbox driver's firmware request, and the one read-only use of it: asking a drive
// for its firmware slots and judging whether an image could go to one of them. The
// update route and the pre-flight scan share this, so the scan's verdict is the route's.
#pragma once

#include <cstdint>
#include <string>

#include "discovery/target_disk.h"
#include "platform/platform.h"

namespace qir {

enum class InboxSlotChoice {
    Chosen,           // a writable slot was found
    NoUpgradeSupport, // the drive says it cannot be updated
    NoSlots,          // the drive reports no slot
    AllReadOnly,      // every slot the drive reports is read-only
    NotOpened,        // the device could not be opened
    RequestFailed,    // the request itself failed (Windows error)
    StatusFailed,     // the driver answered with a FIRMWARE_STATUS other than success
    ReplyUnusable,    // the reply places its records past the request buffer
    NoRequestSize,    // the drive's granularity gives no request the fields can carry
};

struct InboxSlotJudgement {
    InboxSlotChoice choice = InboxSlotChoice::RequestFailed;
    uint8_t slot = 0;          // with Chosen
    uint32_t returnCode = 0;   // with StatusFailed
    uint32_t windowsError = 0; // with NotOpened, and RequestFailed from queryInboxSlot
    // The slot the driver names as waiting for activation, and that slot's revision (a
    // character per byte), when the reply could be read that far; 0 and empty when none.
    uint8_t pendingSlot = 0;
    std::u16string pendingRevision;
};

// What the route returns for a judgement that ends it: 1 when the drive refuses, 5 when
// the tool could not work with it.
uint32_t routeResultOf(InboxSlotChoice choice);

// The size of every request the route sends to the target (piece size + overhead); 0
// when the granularity gives none.
uint32_t inboxRequestSize(const TargetDisk& target);

// The one way the route and the scan open the drive: for reading and writing, shared.
platform::Handle openInboxDevice(const std::u16string& devicePath);

// Zero-fills the first `size` bytes and writes the header and request block of one
// firmware request of that size; the caller fills the data area.
void buildInboxFirmwareRequest(uint8_t* request, uint32_t size, uint32_t function);
// The same without the zero fill, for a buffer the piece loop has just zero-filled: a
// second fill of each piece request cost the download as much again as the copy of the
// piece.
void putInboxFirmwareRequest(uint8_t* request, uint32_t size, uint32_t function);

// Sends the request; false when the call itself failed. `returnCode` gets the status.
bool sendInboxFirmwareRequest(platform::Handle handle, uint8_t* request, uint32_t size,
                              uint32_t* returnCode);

// One get-info request in the route's buffer on the open handle, and its judgement.
InboxSlotJudgement getInfoAndChooseSlot(platform::Handle handle, uint8_t* request,
                                        uint32_t requestSize);

// The same request on a handle and buffer of its own, as the route would send it to the
// target: opened, asked and closed again, nothing else.
InboxSlotJudgement queryInboxSlot(const TargetDisk& target);

} // namespace qir
