// What GetSystemPowerStatus's fields say, read once for every program that asks: the
// scan reports it, and a simulated machine rebuilt from a capture describes it again.
#pragma once

#include <optional>

#include "platform/platform.h"

namespace qir::platform {

// The machine's power source as Windows reports it; unknown where it cannot tell.
struct PowerSource {
    enum class AcLine { Online, Offline, Unknown } acLine = AcLine::Unknown;
    std::optional<bool> batteryPresent;
    std::optional<int> batteryPercent; // 0..100
};

PowerSource powerSourceOf(const PowerStatus& status);

// "online", "offline", "unknown".
const char* acLineName(PowerSource::AcLine line);

} // namespace qir::platform
