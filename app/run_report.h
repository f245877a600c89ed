// The run report: result code, log text, closing console line and message box.
#pragma once

#include <cstdint>
#include <functional>

#include "app/run_options.h"
#include "discovery/result_codes.h"

namespace qir {

// Returns the run's result code: 0, 1602 or 1. `reportWritten`, when given, is called once
// the log is written and the closing line printed, before the message box, which may
// stay open for any time.
int32_t writeRunReport(RunOptions& options, const std::function<void()>& reportWritten = {});

} // namespace qir
