// The scan program as qir-scan.exe and `qir-sim --scan` run it on the installed platform:
// command line, scan, report on the console channels, JSON file. Returns the exit code.
#pragma once

#include "app/updater/disk_updater.h"

namespace qir::scan {

int scanMain(int argc, const char16_t* const* argv,
             const DiscoveryOps& ops = productionDiscoveryOps());

} // namespace qir::scan
