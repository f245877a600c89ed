#include "sweep/unseen_facts.h"

#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/text_encoding.h"
#include "sim/machine_loader.h"
#include "sim/rebuild/kept_answers.h"

namespace qir::sweep {

namespace {

using nlohmann::ordered_json;

std::string upper(const std::u16string& text) {
    std::string narrow = text::toUtf8(text);
    for (char& c : narrow)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return narrow;
}

// Every way the tool reaches a drive, the way it takes first: an inbox disk's device
// number (the update opens \\.\PHYSICALDRIVEn, whichever disk answered the number), the RST
// controller's path and the drive's PathId, the VROC port and the disk id (the first entry
// of an id answers, as the driver finds it); then an inbox disk's interface path.
std::vector<std::pair<std::string, int>> driveKeys(const sim::SimMachine& m) {
    std::vector<std::pair<std::string, int>> keys;
    for (const sim::SimDevice& d : m.devices) {
        if (d.deviceClass == sim::DeviceClass::Disk && d.drive >= 0 && d.deviceNumber)
            keys.emplace_back("number " + std::to_string(*d.deviceNumber), d.drive);
        if (d.driver == sim::DriverType::Rst && d.interfacePath)
            for (const sim::RstPort& p : d.rst.ports)
                keys.emplace_back("rst " + upper(*d.interfacePath) + " " + std::to_string(p.pathId),
                                  p.drive);
        if (d.scsiPort) {
            std::string port = "vroc " + std::to_string(*d.scsiPort) + " ";
            for (const sim::VrocVolume& v : d.vroc.raidVolumes)
                for (const sim::VrocEntry& e : v.members)
                    if (e.drive >= 0)
                        keys.emplace_back(port + std::to_string(e.diskId), e.drive);
            for (const sim::VrocEntry& e : d.vroc.nonRaid)
                if (e.drive >= 0)
                    keys.emplace_back(port + std::to_string(e.diskId), e.drive);
        }
    }
    for (const sim::SimDevice& d : m.devices)
        if (d.deviceClass == sim::DeviceClass::Disk && d.drive >= 0 && d.interfacePath)
            keys.emplace_back("disk " + upper(*d.interfacePath), d.drive);
    return keys;
}

bool behindInbox(const sim::SimMachine& m, int drive) {
    for (const sim::SimDevice& d : m.devices)
        if (d.deviceClass == sim::DeviceClass::Disk && d.drive == drive)
            return true;
    return false;
}

// Whether the driver's get-info reply names as writable a slot the drive does not hold, or
// keeps read-only: the capture shows the reply, and only the drive knows better.
bool replyDepartsFromSlots(const sim::DriveConfig& c) {
    if (!c.getInfo.records)
        return false;
    for (const sim::SlotRecordBytes& r : *c.getInfo.records)
        if (r.readOnly == 0 && r.number >= 1 && r.number <= 7 &&
            (r.number > c.slotCount || (r.number == 1 && c.slot1ReadOnly)))
            return true;
    return false;
}

// A fault the scan did not meet strikes a request the capture never held: a download, an
// activation, or a request the update makes beyond the scan's. One that strikes every
// request of its kind strikes those too.
bool unmetOrEvery(const sim::SimFault& f) {
    return f.every || f.seen < f.occurrence;
}

const char* activationName(sim::Activation a) {
    return a == sim::Activation::Immediate    ? "immediate"
           : a == sim::Activation::PowerCycle ? "power_cycle"
                                              : "reset";
}

void carry(const std::string& fact, const sim::SimMachine& original, int from, bool inbox,
           ordered_json& drive) {
    const sim::DriveConfig& c = original.drives[static_cast<size_t>(from)].config();
    if (fact == "activation") {
        drive["activation"] = activationName(c.activation);
    } else if (fact == "slots" && (!inbox || replyDepartsFromSlots(c))) {
        // Identify shows the active slot's revision alone, not which slot that is.
        ordered_json slots = {{"count", c.slotCount},
                              {"slot1_read_only", c.slot1ReadOnly},
                              {"revisions", c.revisions},
                              {"active", c.activeSlot}};
        if (c.pendingSlot)
            slots["pending"] = c.pendingSlot;
        drive["slots"] = slots;
        drive.erase("firmware");
    } else if (fact == "granularity") {
        drive["fwug"] = c.fwug;
        drive["version"] = std::to_string(c.versionMajor) + "." + std::to_string(c.versionMinor) +
                           "." + std::to_string(c.versionTertiary);
    } else if (fact == "staged") {
        if (c.detectOverlap)
            drive["detect_overlap"] = true;
        ordered_json staged = ordered_json::array();
        for (const auto& [begin, end] : c.staged)
            staged.push_back({{"offset", begin}, {"size", end - begin}});
        if (!staged.empty())
            drive["staged"] = staged;
    }
}

} // namespace

std::vector<int> originalDrives(const sim::SimMachine& rebuilt, const sim::SimMachine& original) {
    std::map<std::string, int> known;
    for (const auto& [key, drive] : driveKeys(original))
        known.emplace(key, drive);
    std::vector<int> map(rebuilt.drives.size(), -1);
    for (const auto& [key, drive] : driveKeys(rebuilt))
        if (auto it = known.find(key); it != known.end() && map[size_t(drive)] < 0)
            map[static_cast<size_t>(drive)] = it->second;
    return map;
}

const std::vector<std::string>& unseenFactNames() {
    static const std::vector<std::string> names = {"slots", "activation", "faults", "granularity",
                                                   "staged"};
    return names;
}

std::string withUnseenFacts(const std::string& rebuilt, const capture::CallList& calls,
                            const std::string& original, const sim::SimMachine& scanned,
                            const std::vector<std::string>& facts, std::string* error) {
    std::unique_ptr<sim::SimMachine> before = sim::loadMachine(rebuilt, error);
    if (!before)
        return {};
    ordered_json machine = ordered_json::parse(rebuilt);
    std::vector<int> map = originalDrives(*before, scanned);
    for (const std::string& fact : facts) {
        if (fact == "faults") {
            ordered_json faults =
                ordered_json::parse(original).value("faults", ordered_json::array());
            for (size_t k = 0; k < faults.size() && k < scanned.faults.size(); ++k)
                if (unmetOrEvery(scanned.faults[k]))
                    machine["faults"].push_back(faults[k]);
            continue;
        }
        for (size_t k = 0; k < map.size(); ++k)
            if (map[k] >= 0)
                carry(fact, scanned, map[k], behindInbox(*before, static_cast<int>(k)),
                      machine["drives"][k]);
    }
    // What was carried is what the answers did not show: the capture's questions are still
    // answered as recorded.
    if (!sim::keepRecordedAnswers(calls, &machine, error))
        return {};
    return machine.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace qir::sweep
