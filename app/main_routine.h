// The tool's main routine: banner, command line, discovery and update, run report.
#pragma once

#include <cstdint>

#include "app/updater/disk_updater.h"

namespace qir {

// argv[0] is the program path; each argument is read up to its terminating NUL.
// Returns the process exit code (0, 1 or 1602).
int32_t mainRoutine(int argc, const char16_t* const* argv,
                    const DiskUpdaterOps& ops = productionDiskUpdaterOps());

} // namespace qir
