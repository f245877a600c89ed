// The machine as a run left it, written as a machine description that loads again: what
// each drive keeps (slot revisions and digests, the active and the pending slot, pieces
// staged and not committed) in place of what the description said, everything else as
// it was. A run that goes on from it meets the drives as this one left them.
#pragma once

#include <string>

#include "sim/sim_machine.h"

namespace qir::sim {

// `description` is the text the machine was loaded from. Faults that interrupt a run
// belong to the run they ended and are left out. Empty, with a one-line error, when a
// drive holds what the format cannot carry.
std::string describeMachineNow(const std::string& description, const SimMachine& machine,
                               std::string* error);

} // namespace qir::sim
