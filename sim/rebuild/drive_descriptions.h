// A drive of the rebuilt machine as the description gives it: its Identify fields and slots,
// what its get-info reply told beyond them, and the Identify bytes the fields do not give
// back as they were.
#pragma once

#include <nlohmann/json.hpp>

#include "sim/rebuild/rebuild_records.h"

namespace qir::sim::rebuild {

// Throws RebuildError when the loader refuses the drive.
nlohmann::ordered_json driveDescription(const Drive& d);

} // namespace qir::sim::rebuild
