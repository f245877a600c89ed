#include "scan/machine_text.h"

namespace qir::scan {

std::string updateRunningText(bool running) {
    return running ? "Another update: running now (another process holds the firmware update "
                     "lock); try again when it has finished\n"
                   : "Another update: none running\n";
}

std::string powerText(const PowerSource& power) {
    std::string text = std::string("Power: AC ") + platform::acLineName(power.acLine);
    if (!power.batteryPresent)
        text += ", battery unknown";
    else if (!*power.batteryPresent)
        text += ", no battery";
    else if (power.batteryPercent)
        text += ", battery " + std::to_string(*power.batteryPercent) + "%";
    else
        text += ", battery charge unknown";
    return text + "\n";
}

} // namespace qir::scan
