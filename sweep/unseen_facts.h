// What no read-only request of a machine shows, and so no capture holds (docs/capture.md,
// "What a capture cannot hold"), carried from a machine's description into the machine
// rebuilt from its capture, so that the update runs of the two can be held to each other.
#pragma once

#include <string>
#include <vector>

#include "capture/captured_call.h"
#include "sim/sim_machine.h"

namespace qir::sweep {

// For each drive of `rebuilt`, the index of the drive of `original` that the same device
// path, controller port or VROC disk id reaches; -1 for none.
std::vector<int> originalDrives(const sim::SimMachine& rebuilt, const sim::SimMachine& original);

// The names of the facts, in the order of docs/capture.md's list.
const std::vector<std::string>& unseenFactNames();

// The description rebuilt from `calls` with each fact named in `facts` (of
// unseenFactNames()) carried over from the original (`original` is its description,
// `scanned` the machine as the recorded scan left it, which tells the faults the scan
// met), still answering every question of the capture as recorded. Empty, with a reason,
// when a description is refused on the way.
std::string withUnseenFacts(const std::string& rebuilt, const capture::CallList& calls,
                            const std::string& original, const sim::SimMachine& scanned,
                            const std::vector<std::string>& facts, std::string* error);

} // namespace qir::sweep
