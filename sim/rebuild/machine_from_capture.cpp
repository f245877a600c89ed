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

// The description the models give of the capture: the steps in the order they run, each
// handing on what it made. Throws RebuildError (or a JSON error) where the capture shows
// what no simulated machine could answer.
ordered_json modelledMachine(const capture::CallList& calls) {
    rebuild::CallIndex index = rebuild::indexCalls(calls);
    ordered_json machine;
    if (index.clock)
        machine["clock"] = *index.clock;
    if (index.updateRunning)
        machine["update_running"] = true;
    if (index.power)
        machine["power"] = *index.power;
    rebuild::DeviceOrder order = rebuild::deviceOrder(index.sets);

    ordered_json devices = ordered_json::array();
    ordered_json faults = index.faults;
    std::vector<rebuild::Drive> drives;
    rebuild::RequestsByPath unclaimedOpens = index.opens;
    std::set<uint32_t> deviceNumbers;
    auto add = [&](rebuild::DeviceEntry entry) {
        devices.push_back(std::move(entry.device));
        for (ordered_json& f : entry.faults)
            faults.push_back(std::move(f));
        drives.insert(drives.end(), entry.drives.begin(), entry.drives.end());
        for (const std::u16string& key : entry.opensUsed)
            unclaimedOpens.erase(key);
        if (entry.deviceNumber)
            deviceNumbers.insert(*entry.deviceNumber);
    };
    // The device tree in the walks' order: disks and storage ports with what their drivers
    // answered, every other device with its properties alone.
    for (uint32_t devInst : order.devices) {
        rebuild::SetupEntry setup =
            rebuild::setupEntry(devInst, deviceAt(index.devices, devInst), order);
        switch (setup.deviceClass) {
        case rebuild::DeviceClass::Disk:
            add(rebuild::inboxDisk(std::move(setup), index.requests, unclaimedOpens, calls,
                                   deviceNumbers, drives));
            break;
        case rebuild::DeviceClass::StoragePort:
            add(rebuild::storagePort(std::move(setup), index.requests, unclaimedOpens, calls));
            break;
        case rebuild::DeviceClass::Other: {
            rebuild::DeviceEntry entry;
            entry.device = std::move(setup.device);
            add(std::move(entry));
            break;
        }
        }
    }
    // The VROC driver's ports after the tree, on instances none of its devices holds.
    uint32_t nextDevInst = order.nextDevInst;
    std::map<uint32_t, std::string> vrocDrives;
    for (const auto& [port, requests] : index.scsiPorts) {
        rebuild::VrocPortEntry v =
            rebuild::vrocPort(port, nextDevInst++, requests, unclaimedOpens, calls, vrocDrives);
        vrocDrives.insert(v.drivesByDiskId.begin(), v.drivesByDiskId.end());
        add(std::move(v.entry));
    }
    // Opens of paths no device answers to.
    for (ordered_json& f : rebuild::faultsOfUnclaimedOpens(unclaimedOpens, calls))
        faults.push_back(std::move(f));

    ordered_json driveList = ordered_json::array();
    for (const rebuild::Drive& d : drives)
        driveList.push_back(rebuild::driveDescription(d));
    machine["devices"] = devices;
    machine["drives"] = driveList;
    machine["faults"] = faults;
    return machine;
}

std::string rebuiltMachine(const capture::CallList& calls, const capture::CaptureHeader* header,
                           std::string* error) {
    try {
        ordered_json machine = modelledMachine(calls);
        if (header && !machine.contains("clock"))
            if (std::optional<std::string> clock = clockOf(*header)) {
                // The clock leads the description, as it does in every written one.
                ordered_json ordered = {{"clock", *clock}};
                ordered.update(machine);
                machine = ordered;
            }
        std::string refused;
        if (!keepRecordedAnswers(calls, &machine, &refused))
            throw RebuildError("the rebuilt machine is refused: " + refused);
        std::string text = machine.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        if (!loadMachine(text, &refused))
            throw RebuildError("the rebuilt machine is refused: " + refused);
        return text + "\n";
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
