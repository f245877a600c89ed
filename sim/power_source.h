// A description's power source (docs/simulator.md) for a status as GetSystemPowerStatus
// fills it: for a machine rebuilt from a capture, and for the description in Wine's order,
// where the power source is the host's.
#pragma once

#include <nlohmann/json.hpp>

#include "platform/platform.h"

namespace qir::sim {

nlohmann::ordered_json powerDescription(const platform::PowerStatus& status);

} // namespace qir::sim
