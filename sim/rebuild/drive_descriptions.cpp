#include "sim/rebuild/drive_descriptions.h"

#include <algorithm>
#include <memory>

#include "capture/hex_text.h"
#include "discovery/byte_io.h"
#include "sim/machine_loader.h"
#include "sim/rebuild/reply_bytes.h"
#include "sim/wire_layouts.h"

namespace qir::sim::rebuild {

using capture::CapturedCall;
using capture::hexOf;
using nlohmann::ordered_json;
using namespace wire;

namespace {

void readGetInfo(const CapturedCall& c, int* count, bool* slot1ReadOnly,
                 std::vector<std::string>* revisions, int* active, int* pendingSlot,
                 ordered_json* told) {
    const std::vector<uint8_t>& b = c.out;
    uint32_t dataOffset = u32At(c.in, srb::kSize + fw::kDataBufferOffset);
    uint32_t base = u32At(b, srb::kSize + fw::kDataBufferOffset);
    if (uint64_t{base} + fw::kInfoSlots > b.size())
        return;
    uint8_t upgrade = b[base + fw::kInfoUpgradeSupport];
    uint8_t slots = b[base + fw::kInfoSlotCount];
    uint8_t activeSlot = b[base + fw::kInfoActiveSlot];
    uint8_t pending = b[base + fw::kInfoPendingSlot];
    size_t records =
        std::min<size_t>(slots, (b.size() - base - fw::kInfoSlots) / fw::kSlotRecordSize);
    // The slot count covers what Identify's FRMW, the reply's SlotCount and the slot
    // numbers of its records name.
    if (slots >= 1 && slots <= 7)
        *count = std::max<int>(*count, slots);
    std::vector<std::pair<uint8_t, uint8_t>> bytes;
    for (size_t k = 0; k < records; ++k) {
        size_t rec = base + fw::kInfoSlots + fw::kSlotRecordSize * k;
        bytes.emplace_back(b[rec + fw::kSlotNumber], b[rec + fw::kSlotReadOnly]);
    }
    // The update commits to the first slot the records call writable: every slot they
    // name is the drive's, and slot 1 is read-only as they say (writable when any
    // record says so), else as Identify's FRMW says. No other slot of an NVMe drive
    // can be read-only.
    bool slot1Named = false, slot1Writable = false;
    for (auto [number, readOnly] : bytes) {
        if (number >= 1 && number <= 7)
            *count = std::max<int>(*count, number);
        if (number == 1) {
            slot1Named = true;
            slot1Writable = slot1Writable || readOnly == 0;
        }
    }
    if (slot1Named)
        *slot1ReadOnly = !slot1Writable;
    revisions->assign(static_cast<size_t>(*count), "");
    for (size_t k = 0; k < records && k < revisions->size(); ++k) {
        size_t rec = base + fw::kInfoSlots + fw::kSlotRecordSize * k;
        std::string revision = bytesText(b.data() + rec + fw::kSlotRevision, 8);
        if (printable(revision))
            (*revisions)[k] = revision;
    }
    if (activeSlot >= 1 && activeSlot <= *count)
        *active = activeSlot;
    if (base != ((dataOffset + 7) & ~7u))
        (*told)["offset"] = base;
    if (upgrade > 1)
        (*told)["upgrade_support"] = upgrade;
    if (upgrade == 0)
        (*told)["upgrade_support"] = 0;
    if (slots != *count || records != slots)
        (*told)["slot_count"] = slots;
    if (activeSlot != *active)
        (*told)["active_slot"] = activeSlot;
    // A slot of the drive's that waits for a reset is the drive's own state, so that a
    // restart of the rebuilt machine activates it as it would the recorded one.
    if (pending >= 1 && pending <= *count)
        *pendingSlot = pending;
    else if (pending != fw::kNoPendingSlot)
        (*told)["pending_slot"] = pending;
    bool plain = bytes.size() == static_cast<size_t>(*count);
    for (size_t k = 0; plain && k < bytes.size(); ++k)
        plain = bytes[k].first == k + 1 && bytes[k].second == (k == 0 && *slot1ReadOnly ? 1 : 0);
    if (!plain) {
        ordered_json list = ordered_json::array();
        for (auto [number, readOnly] : bytes)
            list.push_back({{"number", number}, {"read_only", readOnly}});
        (*told)["records"] = list;
    }
}

} // namespace

ordered_json driveDescription(const Drive& d) {
    const uint8_t* id = d.identify.data();
    ordered_json j;
    j["id"] = d.id;
    j["vendor_id"] = getU16(id, nvme::kVid);
    if (auto v = paddedText(id + nvme::kSn, nvme::kSnLength))
        j["serial"] = *v;
    if (auto v = paddedText(id + nvme::kMn, nvme::kMnLength))
        j["model"] = *v;
    uint32_t ver = getU32(id, nvme::kVer);
    if ((ver >> 16) <= 255)
        j["version"] = std::to_string(ver >> 16) + "." + std::to_string((ver >> 8) & 0xFF) + "." +
                       std::to_string(ver & 0xFF);
    j["fwug"] = id[nvme::kFwug];
    uint8_t frmw = id[nvme::kFrmw];
    int count = std::max(1, (frmw >> 1) & 7);
    bool slot1ReadOnly = frmw & 1;
    ordered_json slots;
    std::vector<std::string> revisions(static_cast<size_t>(count));
    int active = 1, pending = 0;
    ordered_json getInfo;
    if (d.getInfo)
        readGetInfo(*d.getInfo, &count, &slot1ReadOnly, &revisions, &active, &pending, &getInfo);
    slots["count"] = count;
    slots["slot1_read_only"] = slot1ReadOnly;
    revisions.resize(static_cast<size_t>(count));
    slots["revisions"] = revisions;
    slots["active"] = active;
    if (pending)
        slots["pending"] = pending;
    j["slots"] = slots;
    if (auto v = paddedText(id + nvme::kFr, nvme::kFrLength))
        j["firmware"] = *v;
    if (frmw & 0x10)
        j["activation"] = "immediate";
    if (getInfo.contains("upgrade_support") && getInfo["upgrade_support"] == 0) {
        j["upgrade_support"] = false;
        getInfo.erase("upgrade_support");
    }
    if (!getInfo.empty())
        j["get_info"] = getInfo;
    // Whatever the fields above do not give back byte for byte is written as it was.
    std::string error;
    ordered_json probe = {{"drives", {j}}};
    std::unique_ptr<SimMachine> m = loadMachine(probe.dump(), &error);
    if (!m)
        throw RebuildError("drives: " + error);
    auto modelled = m->drives[0].identifyController();
    ordered_json bytes = ordered_json::array();
    for (size_t at = 0; at < modelled.size();) {
        if (modelled[at] == id[at]) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < modelled.size() &&
               (modelled[end] != id[end] ||
                (end + 1 < modelled.size() && modelled[end + 1] != id[end + 1])))
            ++end;
        bytes.push_back({{"offset", at}, {"hex", hexOf(id + at, end - at)}});
        at = end;
    }
    if (!bytes.empty())
        j["identify_bytes"] = bytes;
    return j;
}

} // namespace qir::sim::rebuild
