// The scan's report on standard output: what the tool is, one block per drive, the core's
// messages of discovery under a heading of their own, the problems, and the result.
#pragma once

#include <string>

#include "scan/scan_result.h"

namespace qir::scan {

// "QIR_TX7Q3_V1.0.0_" and the image revision, as qir.exe names itself.
std::string toolVersionText(const std::u16string& imageRevision);

// The first lines of every run, the usage text's and the report's.
std::string headerText(const std::u16string& imageRevision);

std::string reportText(const ScanResult& result);

// The meaning of an exit code, for the report's last line and the JSON.
std::string exitCodeMeaning(int exitCode);

// Shown with a problem whose open Windows refused for want of rights.
inline constexpr char kAdministratorHint[] =
    "Windows lets only administrators open drives: run the scan as administrator.";

} // namespace qir::scan
