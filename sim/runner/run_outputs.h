// What qir-sim writes when a run ends, whether the program returned or was interrupted:
// the state dump, the trace and the machine as the run left it.
#pragma once

#include <string>

#include "sim/sim_machine.h"

namespace qir::simrunner {

struct RunOutputs {
    std::u16string statePath, tracePath, machinePath; // empty: not asked for
    // The text the machine was loaded from, which the written machine follows.
    std::string description;
};

// Writes each file asked for; a file that cannot be written is named on standard error.
void writeRunOutputs(const RunOutputs& outputs, const qir::sim::SimMachine& machine);

// Applies an event named on the command line ("reboot", "power_cycle"); false for a name
// that is neither.
bool applyEvent(qir::sim::SimMachine& machine, const std::u16string& event);

// Ends the process as a kill does: nothing more runs, no exit code of the program's own.
[[noreturn]] void endAsKilled();

void complain(const std::string& message);

} // namespace qir::simrunner
