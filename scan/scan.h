// The scan: the update's own discovery, identification and eligibility filter, and for
// each eligible inbox-driver drive the route's read-only get-info request, all on the
// guard platform; it writes nothing to any drive and prints nothing itself.
#pragma once

#include <string>

#include "app/updater/disk_updater.h"
#include "scan/scan_result.h"

namespace qir::scan {

// Runs on the installed platform (behind a guard of its own, removed again before it
// returns); the console channels are captured meanwhile into the result's diagnostics.
ScanResult scanMachine(const std::u16string& imageRevision,
                       const DiscoveryOps& ops = productionDiscoveryOps());

// Whether a failed open or request is a problem of the scan rather than one of the
// answers by which discovery learns that there is nothing: a VROC port path that does
// not exist, or an Intel RAID request that the driver behind the device does not know.
bool isProblem(const DeviceCall& call);

// The power source a status of GetSystemPowerStatus stands for.
using platform::powerSourceOf;

// The exit code a result stands for (kExit...).
int exitCodeOf(const ScanResult& result);

} // namespace qir::scan
