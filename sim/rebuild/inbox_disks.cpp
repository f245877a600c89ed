#include "sim/rebuild/inbox_disks.h"

#include <climits>

#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/rebuild/call_index.h"
#include "sim/rebuild/open_faults.h"
#include "sim/rebuild/reply_bytes.h"
#include "sim/wire_layouts.h"

namespace qir::sim::rebuild {

using capture::CapturedCall;
using namespace wire;

DeviceEntry inboxDisk(SetupEntry setup, const RequestsByPath& requests, const RequestsByPath& opens,
                      const capture::CallList& calls, const std::set<uint32_t>& numbersTaken,
                      const std::vector<Drive>& drivesSoFar) {
    DeviceEntry entry;
    nlohmann::ordered_json& j = entry.device;
    j = std::move(setup.device);
    std::vector<std::u16string> keys = std::move(setup.keys);
    std::optional<uint32_t> number;
    for (const Request& r : requestsOn(requests, keys))
        if (r.kind == RequestKind::GetDeviceNumber) {
            if (r.call->ok && r.call->out.size() >= 8 && !number)
                number = u32At(r.call->out, 4);
            else if (!r.call->ok)
                entry.faults.push_back(requestFault(r, "error", r.call->error));
        }
    // A number another disk holds, or one no disk can have, is an answer of this disk
    // alone: kept as recorded, while \\.\PHYSICALDRIVEn stays the other's.
    if (number && (*number > INT32_MAX || numbersTaken.count(*number)))
        number.reset();
    entry.deviceNumber = number;
    if (number) {
        j["device_number"] = *number;
        keys.push_back(upper(u"\\\\.\\PHYSICALDRIVE" + text::fromUtf8(std::to_string(*number))));
    }
    accountForOpens(entry, opens, keys, calls);
    std::vector<Request> onDisk = requestsOn(requests, keys);
    bool inbox = false;
    Drive drive;
    for (const Request& r : onDisk) {
        const CapturedCall& c = *r.call;
        if (r.kind == RequestKind::GetDeviceNumber || writesFirmware(r.kind))
            continue;
        if (r.kind == RequestKind::Other || (!c.ok && c.error == win::ERROR_INVALID_FUNCTION))
            continue;
        inbox = true;
        if (r.kind == RequestKind::StorageQuery) {
            if (c.ok && c.out.size() >= 48 + nvme::kIdentifySize && drive.identify.empty())
                drive.identify.assign(c.out.begin() + 48, c.out.begin() + 48 + 4096);
            else if (!c.ok && c.error != win::ERROR_IO_DEVICE)
                entry.faults.push_back(requestFault(r, "error", c.error));
        } else if (r.kind == RequestKind::InboxGetInfo) {
            uint32_t rc = u32At(c.out, srb::kReturnCode);
            if (!c.ok)
                entry.faults.push_back(requestFault(r, "error", c.error));
            else if (rc != fw_status::kSuccess)
                entry.faults.push_back(requestFault(r, "return_code", rc));
            else if (!drive.getInfo)
                drive.getInfo = &c;
        }
    }
    // A disk that answers only the requests it does not know has no driver of the tool's.
    for (const Request& r : onDisk)
        if (inbox && r.kind != RequestKind::Other && r.kind != RequestKind::GetDeviceNumber &&
            !r.call->ok && r.call->error == win::ERROR_INVALID_FUNCTION)
            entry.faults.push_back(requestFault(r, "error", r.call->error));
    if (inbox) {
        j["driver"] = "inbox";
        if (!drive.identify.empty()) {
            drive.id = "disk" + (number ? std::to_string(*number)
                                        : std::to_string(j["dev_inst"].get<uint32_t>()));
            // Two disks may answer one device number; each keeps a drive of its own.
            for (const Drive& other : drivesSoFar)
                if (other.id == drive.id)
                    drive.id += "-" + std::to_string(j["dev_inst"].get<uint32_t>());
            j["drive"] = drive.id;
            entry.drives.push_back(drive);
        } else if (drive.getInfo) {
            throw RebuildError("devices: a disk that answered get info but no Identify");
        }
    }
    return entry;
}

} // namespace qir::sim::rebuild
