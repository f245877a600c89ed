#include "sim/request_kinds.h"

#include "discovery/byte_io.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

namespace {

using namespace wire;

struct KindEntry {
    RequestKind kind;
    const char* name;
    bool toldFromBytes;
    bool writesFirmware;
    bool faultable;
    std::vector<std::string> replyFields;
};

const std::vector<KindEntry>& kinds() {
    using K = RequestKind;
    static const std::vector<KindEntry> table = {
        {K::GetClassDevs, "get_class_devs", false, false, true, {}},
        {K::Open, "open", false, false, true, {}},
        {K::GetDeviceNumber,
         "get_device_number",
         true,
         false,
         true,
         {"DeviceType", "DeviceNumber", "PartitionNumber"}},
        {K::StorageQuery, "storage_query", true, false, true, {"Version", "Size", "identify:"}},
        {K::InboxGetInfo,
         "inbox.get_info",
         true,
         false,
         true,
         {"ReturnCode", "DataBufferOffset", "DataBufferLength", "UpgradeSupport", "SlotCount",
          "ActiveSlot", "PendingActivateSlot"}},
        {K::InboxDownload, "inbox.download", true, true, true, {"ReturnCode"}},
        {K::InboxActivate, "inbox.activate", true, true, true, {"ReturnCode"}},
        {K::InboxFirmware, "inbox.firmware", true, true, false, {}},
        {K::Csmi, "csmi", true, false, true, {"ReturnCode", "bDriveCount"}},
        {K::RstIdentify, "rst.identify", true, false, true, {"ReturnCode", "identify:"}},
        {K::RstDownload, "rst.download", false, true, true, {"ReturnCode"}},
        {K::RstActivate, "rst.activate", false, true, true, {"ReturnCode"}},
        {K::RstNvme, "rst.nvme", true, true, false, {}},
        {K::RstFirmware, "rst.firmware", true, true, false, {}},
        {K::VrocRaidCount, "vroc.raid_count", true, false, true, {"count"}},
        {K::VrocVolumeInfo, "vroc.volume_info", true, false, true, {"member_count"}},
        {K::VrocMemberList, "vroc.member_list", true, false, true, {"ReturnCode"}},
        {K::VrocNonRaidCount, "vroc.non_raid_count", true, false, true, {"count"}},
        {K::VrocNonRaidList, "vroc.non_raid_list", true, false, true, {"ReturnCode"}},
        {K::VrocIdentify,
         "vroc.identify",
         true,
         false,
         true,
         {"ReturnCode", "CplDw3", "identify:"}},
        {K::VrocDownload, "vroc.download", true, true, true, {"ReturnCode", "CplDw3"}},
        {K::VrocCommit, "vroc.commit", true, true, true, {"ReturnCode", "CplDw3"}},
        {K::VrocNvme, "vroc.nvme", true, true, false, {}},
        {K::VrocUnknown, "vroc.unknown", true, false, false, {}},
        {K::Other, "other", true, false, false, {}},
        {K::Unknown, "unknown", false, false, false, {}},
    };
    return table;
}

const KindEntry& entryOf(RequestKind kind) {
    return kinds()[static_cast<size_t>(kind)];
}

} // namespace

RequestKind requestKindOf(uint32_t controlCode, const uint8_t* in, size_t inSize) {
    if (controlCode == kGetDeviceNumber)
        return RequestKind::GetDeviceNumber;
    if (controlCode == kQueryProperty)
        return RequestKind::StorageQuery;
    if (controlCode != kScsiMiniport || !in || inSize < srb::kSize)
        return RequestKind::Other;
    std::string sig(reinterpret_cast<const char*>(in) + srb::kSignature, 8);
    uint32_t code = getU32(in, srb::kControlCode);
    auto u32At = [&](size_t offset) { return offset + 4 <= inSize ? getU32(in, offset) : 0; };
    if (sig == "FIRMWARE" && code == fw::kControlCode) {
        uint32_t fn = u32At(srb::kSize + fw::kFunction);
        return fn == fw::kFunctionGetInfo    ? RequestKind::InboxGetInfo
               : fn == fw::kFunctionDownload ? RequestKind::InboxDownload
               : fn == fw::kFunctionActivate ? RequestKind::InboxActivate
                                             : RequestKind::InboxFirmware;
    }
    if (sig == std::string("CSMIARY\0", 8))
        return RequestKind::Csmi;
    if (sig == "IntelNvm" && code == rst::kNvmControlCode)
        return inSize > rst::kCommand && in[rst::kCommand] == nvme::kOpIdentify
                   ? RequestKind::RstIdentify
                   : RequestKind::RstNvme;
    if (sig == "IntelFw " && code == rst::kFwControlCode)
        return RequestKind::RstFirmware;
    if (sig != "NvmeRAID")
        return RequestKind::Other;
    switch (code) {
    case nvme_pt::kRaidCount:
        return RequestKind::VrocRaidCount;
    case nvme_pt::kVolumeInfo:
        return RequestKind::VrocVolumeInfo;
    case nvme_pt::kMemberList:
        return RequestKind::VrocMemberList;
    case nvme_pt::kNonRaidCount:
        return RequestKind::VrocNonRaidCount;
    case nvme_pt::kNonRaidList:
        return RequestKind::VrocNonRaidList;
    case nvme_pt::kPassThroughCode: {
        uint8_t op = inSize > nvme_pt::kCommand ? in[nvme_pt::kCommand] : 0;
        return op == nvme::kOpIdentify           ? RequestKind::VrocIdentify
               : op == nvme::kOpFirmwareDownload ? RequestKind::VrocDownload
               : op == nvme::kOpFirmwareCommit   ? RequestKind::VrocCommit
                                                 : RequestKind::VrocNvme;
    }
    default:
        return RequestKind::VrocUnknown;
    }
}

const char* requestKindName(RequestKind kind) {
    return entryOf(kind).name;
}

std::optional<RequestKind> requestKindNamed(const std::string& name) {
    for (const KindEntry& e : kinds())
        if (name == e.name)
            return e.kind;
    return std::nullopt;
}

bool writesFirmware(RequestKind kind) {
    return entryOf(kind).writesFirmware;
}

bool toldFromBytes(RequestKind kind) {
    return entryOf(kind).toldFromBytes;
}

bool faultable(RequestKind kind) {
    return entryOf(kind).faultable;
}

const std::vector<std::string>& replyFieldsOf(RequestKind kind) {
    return entryOf(kind).replyFields;
}

} // namespace qir::sim
