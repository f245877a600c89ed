// The scan as JSON (docs/scan.md gives the schema and its version).
#pragma once

#include <string>

#include "scan/scan_result.h"

namespace qir::scan {

inline constexpr int kJsonSchemaVersion = 3;

// The whole document, indented, ending in a newline.
std::string jsonReport(const ScanResult& result);

} // namespace qir::scan
