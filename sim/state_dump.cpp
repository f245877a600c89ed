// The machine's state after a run, as the JSON text `qir-sim --state` writes.
#include <nlohmann/json.hpp>

#include "platform/text_encoding.h"
#include "sim/sim_machine.h"

namespace qir::sim {

std::string SimMachine::stateJson() const {
    // Keys in the order a reader looks for them, result first.
    using json = nlohmann::ordered_json;
    json state = json::object();
    state["result_code"] = resultCode ? json(*resultCode) : json(nullptr);
    if (messageBoxShown)
        state["message_box"] = {{"caption", text::toUtf8(messageBoxShown->caption)},
                                {"text", text::toUtf8(messageBoxShown->text)}};
    else
        state["message_box"] = nullptr;
    state["open_handles"] = openHandles;
    state["open_device_info_sets"] = openDeviceInfoSets;
    json list = json::array();
    for (const NvmeDrive& d : drives) {
        json slots = json::array();
        for (int s = 1; s <= d.slotCount(); ++s)
            slots.push_back({{"slot", s},
                             {"read_only", d.slotReadOnly(s)},
                             {"revision", d.slotRevision(s)},
                             {"digest", d.slotDigest(s)}});
        json drive = json::object();
        drive["id"] = d.id();
        drive["active_slot"] = d.activeSlot();
        drive["pending_slot"] = d.pendingSlot() ? json(d.pendingSlot()) : json(nullptr);
        drive["slots"] = slots;
        drive["downloads"] = {{"count", d.downloadSizes().size()}, {"sizes", d.downloadSizes()}};
        drive["commits"] = d.commitCount();
        drive["committed_digest"] = d.committedDigest();
        list.push_back(drive);
    }
    state["drives"] = list;
    // Revisions come from image bytes and may be anything; the dump must stay valid.
    return state.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace qir::sim
