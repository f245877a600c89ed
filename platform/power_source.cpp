#include "platform/power_source.h"

namespace qir::platform {

PowerSource powerSourceOf(const PowerStatus& status) {
    PowerSource power;
    power.acLine = status.acLineStatus == 1   ? PowerSource::AcLine::Online
                   : status.acLineStatus == 0 ? PowerSource::AcLine::Offline
                                              : PowerSource::AcLine::Unknown;
    constexpr uint8_t kNoSystemBattery = 128, kUnknownStatus = 255;
    if (status.batteryFlag != kUnknownStatus)
        power.batteryPresent = (status.batteryFlag & kNoSystemBattery) == 0;
    if (status.batteryLifePercent <= 100 && power.batteryPresent.value_or(true))
        power.batteryPercent = status.batteryLifePercent;
    return power;
}

const char* acLineName(PowerSource::AcLine line) {
    switch (line) {
    case PowerSource::AcLine::Online:
        return "online";
    case PowerSource::AcLine::Offline:
        return "offline";
    case PowerSource::AcLine::Unknown:
        break;
    }
    return "unknown";
}

} // namespace qir::platform
