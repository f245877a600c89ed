#include "sim/power_source.h"

#include "platform/power_source.h"

namespace qir::sim {

nlohmann::ordered_json powerDescription(const platform::PowerStatus& status) {
    using nlohmann::ordered_json;
    const platform::PowerSource source = platform::powerSourceOf(status);
    ordered_json power;
    power["ac_line"] = platform::acLineName(source.acLine);
    const bool present = source.batteryPresent.value_or(false);
    power["battery_present"] =
        source.batteryPresent ? ordered_json(present) : ordered_json(nullptr);
    // A description gives a charge only to a battery that is present.
    power["battery_percent"] = present && source.batteryPercent
                                   ? ordered_json(*source.batteryPercent)
                                   : ordered_json(nullptr);
    return power;
}

} // namespace qir::sim
