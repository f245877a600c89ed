#include "sim/request_kinds.h"

#include "discovery/byte_io.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

namespace {

using namespace wire;

const char* const kKinds[] = {
    "get_device_number",
    "storage_query",
    "inbox.get_info",
    "inbox.download",
    "inbox.activate",
    "inbox.firmware",
    "csmi",
    "rst.identify",
    "rst.nvme",
    "rst.firmware",
    "vroc.raid_count",
    "vroc.volume_info",
    "vroc.member_list",
    "vroc.non_raid_count",
    "vroc.non_raid_list",
    "vroc.identify",
    "vroc.download",
    "vroc.commit",
    "vroc.nvme",
    "vroc.unknown",
    "other",
};

} // namespace

std::string requestKindOf(uint32_t controlCode, const uint8_t* in, size_t inSize) {
    if (controlCode == kGetDeviceNumber)
        return "get_device_number";
    if (controlCode == kQueryProperty)
        return "storage_query";
    if (controlCode != kScsiMiniport || !in || inSize < srb::kSize)
        return "other";
    std::string sig(reinterpret_cast<const char*>(in) + srb::kSignature, 8);
    uint32_t code = getU32(in, srb::kControlCode);
    auto u32At = [&](size_t offset) { return offset + 4 <= inSize ? getU32(in, offset) : 0; };
    if (sig == "FIRMWARE" && code == fw::kControlCode) {
        uint32_t fn = u32At(srb::kSize + fw::kFunction);
        return fn == fw::kFunctionGetInfo    ? "inbox.get_info"
               : fn == fw::kFunctionDownload ? "inbox.download"
               : fn == fw::kFunctionActivate ? "inbox.activate"
                                             : "inbox.firmware";
    }
    if (sig == std::string("CSMIARY\0", 8))
        return "csmi";
    if (sig == "IntelNvm" && code == rst::kNvmControlCode)
        return inSize > rst::kCommand && in[rst::kCommand] == nvme::kOpIdentify ? "rst.identify"
                                                                                : "rst.nvme";
    if (sig == "IntelFw " && code == rst::kFwControlCode)
        return "rst.firmware";
    if (sig != "NvmeRAID")
        return "other";
    switch (code) {
    case nvme_pt::kRaidCount:
        return "vroc.raid_count";
    case nvme_pt::kVolumeInfo:
        return "vroc.volume_info";
    case nvme_pt::kMemberList:
        return "vroc.member_list";
    case nvme_pt::kNonRaidCount:
        return "vroc.non_raid_count";
    case nvme_pt::kNonRaidList:
        return "vroc.non_raid_list";
    case nvme_pt::kPassThroughCode: {
        uint8_t op = inSize > nvme_pt::kCommand ? in[nvme_pt::kCommand] : 0;
        return op == nvme::kOpIdentify           ? "vroc.identify"
               : op == nvme::kOpFirmwareDownload ? "vroc.download"
               : op == nvme::kOpFirmwareCommit   ? "vroc.commit"
                                                 : "vroc.nvme";
    }
    default:
        return "vroc.unknown";
    }
}

bool writesFirmware(const std::string& kind) {
    return kind == "inbox.download" || kind == "inbox.activate" || kind == "inbox.firmware" ||
           kind == "rst.firmware" || kind == "rst.nvme" || kind == "vroc.download" ||
           kind == "vroc.commit" || kind == "vroc.nvme";
}

bool isRequestKind(const std::string& kind) {
    for (const char* k : kKinds)
        if (kind == k)
            return true;
    return false;
}

} // namespace qir::sim
