// The first step of the rebuild: the capture's calls read in order into what they show of
// the machine, the device sets and their walks, each device's properties, the opens and
// the control requests by path, and the machine-wide answers (clock, lock, power).
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "capture/captured_call.h"
#include "sim/rebuild/rebuild_records.h"

namespace qir::sim::rebuild {

struct CallIndex {
    std::map<size_t, DeviceSet> sets; // by the order they were made in
    std::map<uint32_t, Device> devices;
    RequestsByPath opens;
    RequestsByPath requests;
    std::map<int, std::vector<Request>> scsiPorts; // the VROC driver's "\\.\ScsiN:" ports
    nlohmann::ordered_json faults = nlohmann::ordered_json::array(); // failed device sets
    std::optional<std::string> clock;
    bool updateRunning = false;
    std::optional<nlohmann::ordered_json> power;
};

// Throws RebuildError naming the first call no simulated machine could have answered.
CallIndex indexCalls(const capture::CallList& calls);

// The requests made on any of the paths, in capture order.
std::vector<Request> requestsOn(const RequestsByPath& requests,
                                const std::vector<std::u16string>& keys);

} // namespace qir::sim::rebuild
