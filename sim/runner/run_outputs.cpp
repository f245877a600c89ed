#include "sim/runner/run_outputs.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/host_file.h"
#include "platform/text_encoding.h"
#include "sim/machine_writer.h"

namespace qir::simrunner {

void complain(const std::string& message) {
    std::fputs(("qir-sim: " + message + "\n").c_str(), stderr);
}

void writeRunOutputs(const RunOutputs& outputs, const qir::sim::SimMachine& machine) {
    using namespace qir;
    if (!outputs.statePath.empty() && !host::writeWholeFile(outputs.statePath, machine.stateJson()))
        complain("cannot write the state file " + text::toUtf8(outputs.statePath));
    if (!outputs.tracePath.empty()) {
        std::string trace;
        for (const std::string& line : machine.trace())
            trace += line + "\n";
        if (!host::writeWholeFile(outputs.tracePath, trace))
            complain("cannot write the trace file " + text::toUtf8(outputs.tracePath));
    }
    if (!outputs.machinePath.empty()) {
        std::string error;
        std::string now = sim::describeMachineNow(outputs.description, machine, &error);
        if (now.empty())
            complain(error);
        else if (!host::writeWholeFile(outputs.machinePath, now))
            complain("cannot write the machine file " + text::toUtf8(outputs.machinePath));
    }
}

bool applyEvent(qir::sim::SimMachine& machine, const std::u16string& event) {
    if (event == u"reboot")
        machine.reboot();
    else if (event == u"power_cycle")
        machine.powerCycle();
    else
        return false;
    return true;
}

void endAsKilled() {
    // What the program printed so far has reached whoever reads its output; a killed
    // process leaves no exit code of its own.
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef SIGKILL
    std::raise(SIGKILL);
#endif
    // Where there is no such signal (Windows): the code TerminateProcess leaves when
    // Task Manager or taskkill /F ends a process.
    std::_Exit(1);
}

} // namespace qir::simrunner
