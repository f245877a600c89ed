// Validation of the command line: "/s" and "/log=<FILEPATH>".
#pragma once

#include "app/run_options.h"

namespace qir {

// Records every argument in inputCommand, sets silentMode and logPath, and creates
// the log file empty. Returns 1 when every argument is an option, else 0 after the
// usage text or the invalid-path line.
int parseCommandLine(RunOptions& options, int argc, const char16_t* const* argv);

void printUsage();

} // namespace qir
