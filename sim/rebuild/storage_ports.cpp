#include "sim/rebuild/storage_ports.h"

#include <algorithm>
#include <map>

#include "platform/win_constants.h"
#include "sim/rebuild/call_index.h"
#include "sim/rebuild/open_faults.h"
#include "sim/rebuild/reply_bytes.h"
#include "sim/wire_layouts.h"

namespace qir::sim::rebuild {

using capture::CapturedCall;
using nlohmann::ordered_json;
using namespace wire;

namespace {

// The member list comes from the reply that held the most records; the driver counts every
// member in each, so one of them must hold them all.
std::vector<uint8_t> raidMembers(const std::vector<Request>& csmiReplies) {
    std::vector<uint8_t> members;
    const Request* fullest = nullptr;
    for (const Request& r : csmiReplies)
        if (!fullest || r.call->out.size() > fullest->call->out.size())
            fullest = &r;
    if (!fullest)
        return members;
    const std::vector<uint8_t>& out = fullest->call->out;
    size_t count = out.size() > csmi::kDriveCount ? out[csmi::kDriveCount] : 0;
    size_t records =
        out.size() < csmi::kDrives ? 0 : (out.size() - csmi::kDrives) / csmi::kDriveRecordSize;
    // A count beyond the records is the driver's answer, kept as recorded; the members are
    // the ones the records show.
    for (size_t k = 0; k < std::min(count, records); ++k)
        members.push_back(
            out[csmi::kDrives + k * csmi::kDriveRecordSize + csmi::kDriveSasAddress + 2]);
    return members;
}

} // namespace

DeviceEntry storagePort(SetupEntry setup, const RequestsByPath& requests,
                        const RequestsByPath& opens, const capture::CallList& calls) {
    DeviceEntry entry;
    ordered_json& j = entry.device;
    j = std::move(setup.device);
    const std::vector<std::u16string>& keys = setup.keys;
    accountForOpens(entry, opens, keys, calls);
    bool rst = false;
    std::map<uint8_t, std::string> drives;
    std::vector<Request> csmiReplies;
    std::vector<Request> onPort = requestsOn(requests, keys);
    for (const Request& r : onPort) {
        const CapturedCall& c = *r.call;
        if (!driverKnows(r))
            continue;
        rst = true;
        uint32_t rc = u32At(c.out, srb::kReturnCode);
        if (r.kind == RequestKind::Csmi) {
            if (!c.ok)
                entry.faults.push_back(requestFault(r, "error", c.error));
            else if (rc != csmi::kStatusSuccess && rc != csmi::kRaidSetOutOfRange)
                entry.faults.push_back(requestFault(r, "return_code", rc));
            else if (rc == csmi::kStatusSuccess)
                csmiReplies.push_back(r);
        } else if (r.kind == RequestKind::RstIdentify) {
            uint8_t pathId = c.in.size() > rst::kPathId ? c.in[rst::kPathId] : 0;
            uint32_t dataOffset = u32At(c.in, rst::kDataOffset);
            if (!c.ok) {
                if (c.error != win::ERROR_IO_DEVICE)
                    entry.faults.push_back(requestFault(r, "error", c.error));
            } else if (rc != 0) {
                entry.faults.push_back(requestFault(r, "return_code", rc));
            } else if (!drives.count(pathId) &&
                       uint64_t{dataOffset} + nvme::kIdentifySize <= c.out.size()) {
                Drive d;
                d.id = "rst-port" + std::to_string(pathId);
                d.identify.assign(c.out.begin() + dataOffset,
                                  c.out.begin() + dataOffset + nvme::kIdentifySize);
                drives[pathId] = d.id;
                entry.drives.push_back(d);
            }
        } else if (!c.ok) {
            entry.faults.push_back(requestFault(r, "error", c.error));
        }
    }
    std::vector<uint8_t> members = raidMembers(csmiReplies);
    // A port that knows none of the RST requests is the VROC driver's storage port, which
    // says so for each of them.
    if (!rst) {
        if (!onPort.empty())
            j["driver"] = "vroc";
        return entry;
    }
    j["driver"] = "rst";
    ordered_json ports = ordered_json::array();
    for (const auto& [pathId, id] : drives)
        ports.push_back({{"path_id", pathId}, {"drive", id}});
    j["rst"] = {{"ports", ports}, {"raid_members", members}};
    return entry;
}

} // namespace qir::sim::rebuild
