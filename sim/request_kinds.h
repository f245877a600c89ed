// The kinds of request the simulated machine tells apart, with the one table of their
// names ("csmi", "rst.identify", ...: the names of the trace, of faults and of recorded
// answers) and of what each kind may be faulted or answered with. The drivers name the
// request they serve, and requestKindOf names a request from its bytes alone, whatever
// the driver behind the device makes of it: the rebuild and the recorded answers go by
// that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qir::sim {

enum class RequestKind : uint8_t {
    GetClassDevs,
    Open,
    GetDeviceNumber,
    StorageQuery,
    InboxGetInfo,
    InboxDownload,
    InboxActivate,
    InboxFirmware, // another function of the inbox firmware request
    Csmi,
    RstIdentify,
    RstDownload,
    RstActivate,
    RstNvme,     // another command of the IRST NVMe pass-through
    RstFirmware, // an IRST firmware request, function not told
    VrocRaidCount,
    VrocVolumeInfo,
    VrocMemberList,
    VrocNonRaidCount,
    VrocNonRaidList,
    VrocIdentify,
    VrocDownload,
    VrocCommit,
    VrocNvme,    // another command of the VROC pass-through
    VrocUnknown, // another "NvmeRAID" code
    Other,       // any other control request
    Unknown,     // a request no driver named
};

const char* requestKindName(RequestKind kind);
std::optional<RequestKind> requestKindNamed(const std::string& name);

// Other when no kind names the request.
RequestKind requestKindOf(uint32_t controlCode, const uint8_t* in, size_t inSize);

// Whether a request of that kind downloads, activates or commits firmware: what such a
// request does is for the drive model to say, never for a record.
bool writesFirmware(RequestKind kind);

// Whether requestKindOf gives that kind: what a recorded answer may name.
bool toldFromBytes(RequestKind kind);

// Whether a fault may name that kind, and the reply fields a "fields" fault of it may
// overwrite ("identify:" stands for any "identify:<offset>").
bool faultable(RequestKind kind);
const std::vector<std::string>& replyFieldsOf(RequestKind kind);

} // namespace qir::sim
