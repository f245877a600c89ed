// qir-sim: the tool's main routine on a simulated machine.
#include "app/main_routine.h"
#include "platform/entry.h"
#include "sim/sim_machine.h"

int qir::programMain(int argc, const char16_t* const* argv) {
    qir::sim::SimMachine machine;
    qir::platform::setPlatform(&machine);
    return qir::mainRoutine(argc, argv);
}
