// The run report: result code, log text, closing console line and message box.
#pragma once

#include <cstdint>

#include "app/run_options.h"

namespace qir {

inline constexpr int32_t kResultRebootRequired = 1602;

// Returns the run's result code: 0, 1602 or 1.
int32_t writeRunReport(RunOptions& options);

} // namespace qir
