// One run of the main routine, or of the pre-flight scan, on a simulated machine, with the
// platform calls counted.
#pragma once

#include <cstdint>
#include <string>

#include "bench/counting_platform.h"

namespace qir::bench {

struct WholeRun {
    bool loaded = false;
    std::string loadError;
    int32_t result = -1;
    PlatformCallCounts counts;
    int64_t firstDeviceRequestNanos = -1;
    int64_t runNanos = 0; // the main routine only, the machine's loading left out
    size_t consoleBytes = 0;
};

// Loads the description afresh (a run changes the drives) and runs the tool silently.
WholeRun runWholeMachine(const std::string& description);
// The same for the scan, without arguments.
WholeRun runWholeScan(const std::string& description);

} // namespace qir::bench
