// The run report: result code, log text, closing console line and message box.
#pragma once

#include <cstdint>

#include "app/run_options.h"
#include "discovery/result_codes.h"

namespace qir {

// Returns the run's result code: 0, 1602 or 1.
int32_t writeRunReport(RunOptions& options);

} // namespace qir
