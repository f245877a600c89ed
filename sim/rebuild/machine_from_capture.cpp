#include "sim/rebuild/machine_from_capture.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "sim/machine_loader.h"
#include "sim/rebuild/call_index.h"
#include "sim/rebuild/device_order.h"
#include "sim/rebuild/drive_descriptions.h"
#include "sim/rebuild/inbox_disks.h"
#include "sim/rebuild/kept_answers.h"
#include "sim/rebuild/open_faults.h"
#include "sim/rebuild/rebuild_records.h"
#include "sim/rebuild/setup_devices.h"
#include "sim/rebuild/storage_ports.h"
#include "sim/rebuild/vroc_ports.h"

namespace qir::sim {

namespace {

using nlohmann::ordered_json;
using rebuild::RebuildError;

// The clock a header tells, when it is one a machine can run on: the machine's own, else
// the UTC time of the recording.
std::optional<std::string> clockOf(const capture::CaptureHeader& header) {
    std::string utc = header.time;
    if (utc.size() == 20 && utc[10] == 'T' && utc[19] == 'Z')
        utc = utc.substr(0, 10) + " " + utc.substr(11, 8);
    for (const std::string& clock : {header.localTime, utc}) {
        ordered_json probe = {{"clock", clock}};
        std::string ignored;
        if (!clock.empty() && loadMachine(probe.dump(), &ignored))
            return clock;
    }
    return std::nullopt;
}

rebuild::Device deviceAt(const std::map<uint32_t, rebuild::Device>& devices, uint32_t devInst) {
    auto it = devices.find(devInst);
    return it != devices.end() ? it->second : rebuild::Device{};
}

// What the devices' steps made so far, in the order they made it.
struct MachineParts {
    ordered_json devices = ordered_json::array();
    ordered_json faults = ordered_json::array();
    std::vector<rebuild::Drive> drives;
    rebuild::RequestsByPath unclaimedOpens;     // the opens no device took yet
    std::set<uint32_t> deviceNumbers;           // held by a disk
    std::map<uint32_t, std::string> vrocDrives; // found on a VROC port, by disk id
};

void append(ordered_json& list, ordered_json more) {
    for (ordered_json& item : more)
        list.push_back(std::move(item));
}

void add(MachineParts& parts, rebuild::DeviceEntry entry) {
    parts.devices.push_back(std::move(entry.device));
    append(parts.faults, std::move(entry.faults));
    parts.drives.insert(parts.drives.end(), entry.drives.begin(), entry.drives.end());
    for (const std::u16string& key : entry.opensUsed)
        parts.unclaimedOpens.erase(key);
    if (entry.deviceNumber)
        parts.deviceNumbers.insert(*entry.deviceNumber);
}

// A device of the tree: a disk or storage port with what its driver answered, any other
// device with its properties alone.
rebuild::DeviceEntry treeDevice(uint32_t devInst, const rebuild::CallIndex& index,
                                const rebuild::DeviceOrder& order, const MachineParts& before,
                                const capture::CallList& calls) {
    rebuild::SetupEntry setup =
        rebuild::setupEntry(devInst, deviceAt(index.devices, devInst), order);
    switch (setup.deviceClass) {
    case rebuild::DeviceClass::Disk:
        return rebuild::inboxDisk(std::move(setup), index.requests, before.unclaimedOpens, calls,
                                  before.deviceNumbers, before.drives);
    case rebuild::DeviceClass::StoragePort:
        return rebuild::storagePort(std::move(setup), index.requests, before.unclaimedOpens, calls);
    case rebuild::DeviceClass::Other:
        break;
    }
    rebuild::DeviceEntry entry;
    entry.device = std::move(setup.device);
    return entry;
}

// The machine-wide answers; the clock, when no call recorded it, is the header's.
ordered_json machineWide(const rebuild::CallIndex& index, const capture::CaptureHeader* header) {
    ordered_json machine;
    std::optional<std::string> clock = index.clock;
    if (!clock && header)
        clock = clockOf(*header);
    if (clock)
        machine["clock"] = *clock;
    if (index.updateRunning)
        machine["update_running"] = true;
    if (index.power)
        machine["power"] = *index.power;
    return machine;
}

// The rebuild, its steps in the order they run, each taking what it needs and returning
// what it makes. Throws RebuildError (or a JSON error) where the capture shows what no
// simulated machine could answer.
std::string rebuiltDescription(const capture::CallList& calls,
                               const capture::CaptureHeader* header) {
    rebuild::CallIndex index = rebuild::indexCalls(calls);
    rebuild::DeviceOrder order = rebuild::deviceOrder(index.sets);
    MachineParts parts;
    parts.faults = index.faults;
    parts.unclaimedOpens = index.opens;
    for (uint32_t devInst : order.devices)
        add(parts, treeDevice(devInst, index, order, parts, calls));
    // The VROC driver's ports after the tree, on instances none of its devices holds.
    uint32_t devInst = order.nextDevInst;
    for (const auto& [port, requests] : index.scsiPorts) {
        rebuild::VrocPortEntry v = rebuild::vrocPort(port, devInst++, requests,
                                                     parts.unclaimedOpens, calls, parts.vrocDrives);
        parts.vrocDrives.insert(v.drivesByDiskId.begin(), v.drivesByDiskId.end());
        add(parts, std::move(v.entry));
    }
    append(parts.faults, rebuild::faultsOfUnclaimedOpens(parts.unclaimedOpens, calls));
    ordered_json drives = ordered_json::array();
    for (const rebuild::Drive& d : parts.drives)
        drives.push_back(rebuild::driveDescription(d));

    ordered_json machine = machineWide(index, header);
    machine["devices"] = parts.devices;
    machine["drives"] = drives;
    machine["faults"] = parts.faults;
    std::string refused;
    if (!keepRecordedAnswers(calls, &machine, &refused))
        throw RebuildError("the rebuilt machine is refused: " + refused);
    std::string text = machine.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    if (!loadMachine(text, &refused))
        throw RebuildError("the rebuilt machine is refused: " + refused);
    return text + "\n";
}

std::string rebuiltMachine(const capture::CallList& calls, const capture::CaptureHeader* header,
                           std::string* error) {
    try {
        return rebuiltDescription(calls, header);
    } catch (const RebuildError& e) {
        if (error)
            *error = std::string("capture cannot be rebuilt: ") + e.what();
    } catch (const nlohmann::json::exception& e) {
        if (error)
            *error = std::string("capture cannot be rebuilt: ") + e.what();
    }
    return {};
}

} // namespace

std::string machineFromCapture(const capture::CallList& calls, std::string* error) {
    return rebuiltMachine(calls, nullptr, error);
}

std::string machineFromCapture(const capture::Capture& capture, std::string* error) {
    return rebuiltMachine(capture.calls, &capture.header, error);
}

std::string machineOfCaptureFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in || in.bad()) {
        if (error)
            *error = "cannot read capture " + path;
        return {};
    }
    std::string reason;
    std::string machine;
    if (std::optional<capture::Capture> capture = capture::readWholeCapture(content.str(), &reason))
        machine = machineFromCapture(*capture, &reason);
    if (machine.empty() && error)
        *error = path + ": " + reason;
    return machine;
}

} // namespace qir::sim
