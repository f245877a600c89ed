// The outcomes of the opens the capture made: a device's own open error when every open of
// its paths failed alike, else one fault per failed open; and the opens of paths no device
// answers to.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "capture/captured_call.h"
#include "sim/rebuild/rebuild_records.h"

namespace qir::sim::rebuild {

struct OpenOutcome {
    std::optional<uint32_t> openError; // the device's own, when every open failed alike
    nlohmann::ordered_json faults = nlohmann::ordered_json::array();
};

// The outcome of the opens of `keys` among `opens`, the opens no device accounted for yet.
OpenOutcome openOutcomeOf(const RequestsByPath& opens, const std::vector<std::u16string>& keys,
                          const capture::CallList& calls);

// The opens no device accounted for: a path that is not there fails as on any machine; any
// other failure is the path's own fault. Throws RebuildError for one that succeeded.
nlohmann::ordered_json faultsOfUnclaimedOpens(const RequestsByPath& opens,
                                              const capture::CallList& calls);

} // namespace qir::sim::rebuild
