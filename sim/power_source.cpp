#include "sim/power_source.h"

namespace qir::sim {

nlohmann::ordered_json powerDescription(const platform::PowerStatus& status) {
    using nlohmann::ordered_json;
    constexpr uint8_t kNoSystemBattery = 128, kUnknown = 255;
    ordered_json power;
    power["ac_line"] = status.acLineStatus == 1   ? "online"
                       : status.acLineStatus == 0 ? "offline"
                                                  : "unknown";
    const bool known = status.batteryFlag != kUnknown;
    const bool present = known && (status.batteryFlag & kNoSystemBattery) == 0;
    power["battery_present"] = known ? ordered_json(present) : ordered_json(nullptr);
    power["battery_percent"] = present && status.batteryLifePercent <= 100
                                   ? ordered_json(status.batteryLifePercent)
                                   : ordered_json(nullptr);
    return power;
}

} // namespace qir::sim
