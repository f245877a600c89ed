// The outcomes of the opens the capture made: a device's own open error when every open of
// its paths failed alike, else one fault per failed open; and the opens of paths no device
// answers to.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "capture/captured_call.h"
#include "sim/rebuild/rebuild_records.h"

namespace qir::sim::rebuild {

// Accounts in `entry` for the opens of `keys` among `opens`, the opens no device accounted
// for yet: the device's own "open_error" when every open failed alike, else one fault per
// failed open; the keys become the entry's opensUsed.
void accountForOpens(DeviceEntry& entry, const RequestsByPath& opens,
                     const std::vector<std::u16string>& keys, const capture::CallList& calls);

// The opens no device accounted for: a path that is not there fails as on any machine; any
// other failure is the path's own fault. Throws RebuildError for one that succeeded.
nlohmann::ordered_json faultsOfUnclaimedOpens(const RequestsByPath& opens,
                                              const capture::CallList& calls);

} // namespace qir::sim::rebuild
