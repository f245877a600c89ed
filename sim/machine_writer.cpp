#include "sim/machine_writer.h"

#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace qir::sim {

namespace {

using json = nlohmann::ordered_json;

void setOrErase(json& object, const char* key, bool present, const json& value) {
    if (present)
        object[key] = value;
    else
        object.erase(key);
}

void describeDrive(json& j, const NvmeDrive& d) {
    // The revisions say what "firmware" said, for every slot.
    j.erase("firmware");
    json& slots = j["slots"];
    if (!slots.is_object())
        slots = json::object();
    json revisions = json::array(), digests = json::array();
    bool anyDigest = false;
    for (int s = 1; s <= d.slotCount(); ++s) {
        revisions.push_back(d.slotRevision(s));
        digests.push_back(d.slotDigest(s));
        anyDigest = anyDigest || !d.slotDigest(s).empty();
    }
    slots["count"] = d.slotCount();
    slots["revisions"] = revisions;
    slots["active"] = d.activeSlot();
    setOrErase(slots, "pending", d.pendingSlot() != 0, d.pendingSlot());
    setOrErase(slots, "digests", anyDigest, digests);
    // Pieces that follow one another stage as one range: the drive judges a later piece
    // and a commit by where bytes are staged, not by how they came.
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    for (const auto& range : d.stagedRanges()) {
        if (!ranges.empty() && ranges.back().second == range.first)
            ranges.back().second = range.second;
        else
            ranges.push_back(range);
    }
    json staged = json::array();
    for (const auto& [begin, end] : ranges)
        staged.push_back({{"offset", begin}, {"size", end - begin}});
    setOrErase(j, "staged", !staged.empty(), staged);
}

} // namespace

std::string describeMachineNow(const std::string& description, const SimMachine& machine,
                               std::string* error) {
    try {
        json root = json::parse(description);
        if (root.contains("drives") || !machine.drives.empty()) {
            json& drives = root["drives"];
            if (!drives.is_array() || drives.size() != machine.drives.size()) {
                *error = "the machine no longer matches its description";
                return {};
            }
            for (size_t i = 0; i < drives.size(); ++i)
                describeDrive(drives[i], machine.drives[i]);
        }
        if (root.contains("faults")) {
            json kept = json::array();
            for (const json& f : root["faults"])
                if (!f.contains("interrupt"))
                    kept.push_back(f);
            root["faults"] = kept;
        }
        // A revision is whatever bytes an image carried; a description holds text, and a
        // byte that is not UTF-8 would come back as another.
        return root.dump(2) + "\n";
    } catch (const json::exception& e) {
        *error = std::string("cannot describe the machine: ") + e.what();
        return {};
    }
}

} // namespace qir::sim
