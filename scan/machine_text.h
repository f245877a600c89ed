// How the report and the JSON spell what the scan learns of the machine itself, besides
// its drives: whether another update runs now, and the power source.
#pragma once

#include <string>

#include "scan/scan_result.h"

namespace qir::scan {

// The report's lines, each ending in a newline.
std::string updateRunningText(bool running);
std::string powerText(const PowerSource& power);

} // namespace qir::scan
