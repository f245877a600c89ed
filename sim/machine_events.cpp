// The machine between runs, and a run that does not reach its end.
#include <cstdio>
#include <cstdlib>

#include "platform/text_encoding.h"
#include "sim/sim_machine.h"

namespace qir::sim {

void SimMachine::reboot() {
    for (NvmeDrive& d : drives)
        d.controllerReset();
}

void SimMachine::powerCycle() {
    for (NvmeDrive& d : drives)
        d.powerCycle();
}

void SimMachine::interrupt(const IoRequest& r, FaultEffect how) {
    const bool powerCut = how == FaultEffect::PowerCut;
    addTrace(requestKindName(r.kind) + std::string(" path=") + text::toUtf8(r.file.path) + " -> " +
             (powerCut ? "power cut" : "killed"));
    // The drives lose their power with the machine, before anyone can look at them.
    if (powerCut)
        powerCycle();
    if (onInterrupt)
        onInterrupt(how);
    std::fputs("qir-sim: an interrupt fault ends the process; only the runner can take it\n",
               stderr);
    std::abort();
}

} // namespace qir::sim
