#include "sim/rebuild/vroc_ports.h"

#include <algorithm>
#include <optional>
#include <set>

#include "capture/hex_text.h"
#include "discovery/byte_io.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/rebuild/open_faults.h"
#include "sim/rebuild/reply_bytes.h"
#include "sim/wire_layouts.h"

namespace qir::sim::rebuild {

using capture::CapturedCall;
using nlohmann::ordered_json;
using namespace wire;

namespace {

ordered_json entryOf(const uint8_t* e, const std::map<uint32_t, std::string>& drives) {
    ordered_json j;
    uint32_t diskId = getU32(e, nvme_pt::kEntryDiskId);
    std::optional<std::string> model = paddedText(e + nvme_pt::kEntryModel, 40);
    std::string serialBytes = bytesText(e + nvme_pt::kEntrySerial, nvme_pt::kEntrySerialMax);
    std::string serial = serialBytes.substr(0, serialBytes.find('\0'));
    bool serialFits = printable(serial) &&
                      serialBytes.find_first_not_of('\0', serial.size()) == std::string::npos;
    // The model text pads back with blanks only when it has no trailing blanks of its own
    // that the padding would swallow: the bytes are then the same either way.
    auto drive = drives.find(diskId);
    if (drive != drives.end())
        j["drive"] = drive->second;
    if (model && serialFits) {
        j["disk_id"] = diskId;
        j["address"] = getU32(e, nvme_pt::kEntryAddress);
        j["model"] = *model;
        j["serial"] = serial;
    } else {
        j["bytes"] = capture::hexOf(e, nvme_pt::kEntrySize);
    }
    return j;
}

// The entries a list reply holds, and the disk ids they give.
ordered_json entries(const CapturedCall& c, uint32_t first, uint32_t count,
                     const std::map<uint32_t, std::string>& drives, std::set<uint32_t>* ids) {
    ordered_json list = ordered_json::array();
    for (uint32_t k = 0; k < count; ++k) {
        uint64_t at = first + uint64_t{nvme_pt::kEntrySize} * k;
        if (at + nvme_pt::kEntrySize > c.out.size())
            break;
        list.push_back(entryOf(c.out.data() + at, drives));
        ids->insert(getU32(c.out.data(), static_cast<size_t>(at) + nvme_pt::kEntryDiskId));
    }
    return list;
}

ordered_json countFault(const Request& r, const char* field, const ordered_json& value) {
    return {{"kind", requestKindName(r.kind)},
            {"occurrence", r.occurrence},
            {"path", text::toUtf8(r.path)},
            {"fields", {{field, value}}}};
}

} // namespace

VrocPortEntry vrocPort(int port, uint32_t devInst, const std::vector<Request>& requests,
                       const RequestsByPath& opens, const capture::CallList& calls,
                       const std::map<uint32_t, std::string>& drivesBefore) {
    VrocPortEntry result;
    DeviceEntry& entry = result.entry;
    ordered_json& j = entry.device;
    j["class"] = "scsi_port";
    j["scsi_port"] = port;
    j["dev_inst"] = devInst;
    std::vector<std::u16string> keys = {
        upper(u"\\\\.\\Scsi" + text::fromUtf8(std::to_string(port)) + u":")};
    accountForOpens(entry, opens, keys, calls);
    // The drives by disk id that this port's lists name: those of the ports before it and
    // its own.
    std::map<uint32_t, std::string> known = drivesBefore;
    bool vroc = false;
    std::optional<uint32_t> raidCount, memberCount, nonRaidCount;
    const CapturedCall* memberList = nullptr;
    const CapturedCall* nonRaidList = nullptr;
    std::vector<const Request*> counts;
    std::set<uint32_t> identified; // disk ids a drive answered on this port
    for (const Request& r : requests) {
        const CapturedCall& c = *r.call;
        if (!driverKnows(r))
            continue;
        vroc = true;
        if (!c.ok) {
            entry.faults.push_back(requestFault(r, "error", c.error));
            continue;
        }
        uint32_t rc = u32At(c.out, srb::kReturnCode);
        if (r.kind == RequestKind::VrocIdentify) {
            uint32_t diskId = u32At(c.in, srb::kReturnCode);
            uint32_t status = (u32At(c.out, nvme_pt::kCompletionDw3) >> 17) & 0x7FFF;
            if (rc == nvme_pt::kInvalidPathTargetId)
                continue;
            if (rc != 0)
                entry.faults.push_back(requestFault(r, "return_code", rc));
            else if (status != 0)
                entry.faults.push_back(requestFault(r, "completion_status", status));
            else if (c.out.size() >= nvme_pt::kDataBuffer + nvme::kIdentifySize &&
                     identified.insert(diskId).second && !known.count(diskId)) {
                Drive d;
                d.id = "vroc-disk" + std::to_string(diskId);
                d.identify.assign(c.out.begin() + nvme_pt::kDataBuffer,
                                  c.out.begin() + nvme_pt::kDataBuffer + nvme::kIdentifySize);
                known[diskId] = d.id;
                result.drivesByDiskId[diskId] = d.id;
                entry.drives.push_back(d);
            }
        } else if (r.kind == RequestKind::VrocRaidCount && !raidCount) {
            raidCount = u32At(c.out, nvme_pt::kCountValue);
            counts.push_back(&r);
        } else if (r.kind == RequestKind::VrocVolumeInfo && !memberCount) {
            memberCount = u32At(c.out, nvme_pt::kVolumeMemberCount);
            counts.push_back(&r);
        } else if (r.kind == RequestKind::VrocNonRaidCount && !nonRaidCount) {
            nonRaidCount = u32At(c.out, nvme_pt::kCountValue);
            counts.push_back(&r);
        } else if (r.kind == RequestKind::VrocMemberList && !memberList) {
            memberList = &c;
        } else if (r.kind == RequestKind::VrocNonRaidList && !nonRaidList) {
            nonRaidList = &c;
        }
    }
    if (!vroc)
        return result;
    j["driver"] = "vroc";
    ordered_json controller;
    // Only the first volume is ever listed; the others stand in empty. A count beyond any
    // controller is the driver's answer, kept as such.
    uint32_t volumes = raidCount.value_or(0);
    // The ids the port's lists show: the first volume's members stand only when there is a
    // volume.
    std::set<uint32_t> listedIds, unlisted;
    ordered_json members =
        memberList ? entries(*memberList, nvme_pt::kMemberListEntries, memberCount.value_or(0),
                             known, volumes ? &listedIds : &unlisted)
                   : ordered_json::array();
    ordered_json raid = ordered_json::array();
    for (uint32_t v = 0; v < std::min<uint32_t>(volumes, 16); ++v)
        raid.push_back(v == 0 ? ordered_json{{"members", members}}
                              : ordered_json{{"members", ordered_json::array()}});
    int32_t nonRaid = static_cast<int32_t>(nonRaidCount.value_or(0));
    ordered_json listed = nonRaidList && nonRaid > 0
                              ? entries(*nonRaidList, nvme_pt::kNonRaidListEntries,
                                        static_cast<uint32_t>(nonRaid), known, &listedIds)
                              : ordered_json::array();
    // A drive that answered Identify on this port by a disk id its lists do not show (a
    // list that failed, say) takes the update's pieces by that id all the same: it stands
    // in a volume after the first, which the tool never lists.
    for (uint32_t diskId : identified) {
        if (listedIds.count(diskId))
            continue;
        while (raid.size() < 2)
            raid.push_back({{"members", ordered_json::array()}});
        raid[1]["members"].push_back({{"drive", known.at(diskId)}, {"disk_id", diskId}});
    }
    controller["raid_volumes"] = raid;
    controller["non_raid"] = listed;
    j["vroc"] = controller;
    for (const Request* r : counts) {
        if (r->kind == RequestKind::VrocRaidCount && volumes > 16)
            entry.faults.push_back(countFault(*r, "count", volumes));
        if (r->kind == RequestKind::VrocVolumeInfo && memberCount && *memberCount != members.size())
            entry.faults.push_back(countFault(*r, "member_count", *memberCount));
        if (r->kind == RequestKind::VrocNonRaidCount && nonRaidCount &&
            static_cast<int64_t>(nonRaid) != static_cast<int64_t>(listed.size()))
            entry.faults.push_back(countFault(*r, "count", nonRaid));
    }
    return result;
}

} // namespace qir::sim::rebuild
