// qir-sim: the tool's main routine, or the pre-flight scan, on a simulated machine, on a
// machine rebuilt from a capture, or against a capture itself.
//
//   qir-sim [--scan] [--machine FILE | --from-capture FILE] [--event reboot|power_cycle]
//           [--write-machine FILE] [--state FILE] [--trace FILE] [--] [arguments...]
//   qir-sim --machine FILE --event EVENT --no-run [--write-machine FILE] [--state FILE]
//   qir-sim [--scan] --replay FILE [--] [arguments...]
//
// Standard output belongs to the tool; the runner speaks only on standard error.
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_routine.h"
#include "capture/capture_file.h"
#include "capture/replay_platform.h"
#include "platform/entry.h"
#include "platform/host_file.h"
#include "platform/text_encoding.h"
#include "scan/scan_main.h"
#include "sim/machine_loader.h"
#include "sim/rebuild/machine_from_capture.h"
#include "sim/runner/run_outputs.h"
#include "sim/sim_machine.h"

namespace qir::sim {
extern const char kDefaultMachineText[];
}

namespace {

constexpr int kRunnerFailure = 2;

using qir::simrunner::complain;

std::u16string quoted(const std::u16string& arg) {
    if (!arg.empty() && arg.find(u' ') == std::u16string::npos)
        return arg;
    return u"\"" + arg + u"\"";
}

// The runner's own options, one row each; everything from the first other argument (or
// after "--") goes to the program.
struct RunnerOptions {
    std::u16string machinePath, statePath, tracePath, capturePath, writeMachinePath, replayPath,
        event;
    bool haveMachine = false, haveState = false, haveTrace = false, scan = false,
         haveCapture = false, haveWriteMachine = false, haveReplay = false, haveEvent = false,
         noRun = false;
};

struct RunnerOption {
    const char16_t* name;
    std::u16string RunnerOptions::*file; // nullptr: a switch
    bool RunnerOptions::*given;
};

const RunnerOption kRunnerOptions[] = {
    {u"--machine", &RunnerOptions::machinePath, &RunnerOptions::haveMachine},
    {u"--state", &RunnerOptions::statePath, &RunnerOptions::haveState},
    {u"--trace", &RunnerOptions::tracePath, &RunnerOptions::haveTrace},
    {u"--scan", nullptr, &RunnerOptions::scan},
    {u"--from-capture", &RunnerOptions::capturePath, &RunnerOptions::haveCapture},
    {u"--write-machine", &RunnerOptions::writeMachinePath, &RunnerOptions::haveWriteMachine},
    {u"--replay", &RunnerOptions::replayPath, &RunnerOptions::haveReplay},
    {u"--event", &RunnerOptions::event, &RunnerOptions::haveEvent},
    {u"--no-run", nullptr, &RunnerOptions::noRun},
};

// The options that cannot go together; the reason when some do.
std::string conflictOf(const RunnerOptions& r) {
    if (r.haveCapture && r.haveMachine)
        return "--machine and --from-capture name two machines; give one";
    if (r.haveReplay && (r.haveMachine || r.haveCapture || r.haveState || r.haveTrace ||
                         r.haveWriteMachine || r.haveEvent || r.noRun))
        return "--replay answers from the capture alone: no machine, event, state or trace";
    if (r.haveEvent && r.event != u"reboot" && r.event != u"power_cycle")
        return "--event is reboot or power_cycle";
    if (r.noRun && (r.scan || !r.haveEvent))
        return "--no-run runs nothing: it takes an --event and no --scan";
    return {};
}

// The machine, and in *description the text it was loaded from when the run is to write
// the machine it leaves. A machine rebuilt from a capture is written as rebuilt, before
// the run: it is the customer's machine that support keeps.
std::unique_ptr<qir::sim::SimMachine> machineOf(const RunnerOptions& runner,
                                                std::string* description, std::string* error) {
    using namespace qir;
    if (!runner.haveCapture) {
        if (!runner.haveMachine) {
            *description = sim::kDefaultMachineText;
            return sim::loadMachine(sim::kDefaultMachineText, error);
        }
        const std::string path = text::toUtf8(runner.machinePath);
        std::unique_ptr<sim::SimMachine> machine = sim::loadMachineFile(path, error);
        if (machine && runner.haveWriteMachine) {
            std::ifstream in(path, std::ios::binary);
            std::ostringstream content;
            content << in.rdbuf();
            *description = content.str();
        }
        return machine;
    }
    std::string rebuilt = sim::machineOfCaptureFile(text::toUtf8(runner.capturePath), error);
    if (rebuilt.empty())
        return nullptr;
    if (runner.haveWriteMachine && !qir::host::writeWholeFile(runner.writeMachinePath, rebuilt)) {
        *error = "cannot write the machine file " + text::toUtf8(runner.writeMachinePath);
        return nullptr;
    }
    return sim::loadMachine(rebuilt, error);
}

// The program asked from the capture: 0 when it asked every recorded call in order and
// nothing more, 1 with the first difference on standard error when not.
int replay(const RunnerOptions& runner, int argc, const char16_t* const* argv) {
    using namespace qir;
    std::ifstream in(text::toUtf8(runner.replayPath), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in) {
        complain("cannot read capture " + text::toUtf8(runner.replayPath));
        return kRunnerFailure;
    }
    std::string error;
    std::optional<capture::CallList> calls = capture::readCapture(content.str(), &error);
    if (!calls) {
        complain(text::toUtf8(runner.replayPath) + ": " + error);
        return kRunnerFailure;
    }
    const size_t recorded = calls->size();
    capture::ReplayPlatform answers(std::move(*calls));
    platform::setPlatform(&answers);
    if (runner.scan)
        scan::scanMain(argc, argv);
    else
        mainRoutine(argc, argv);
    std::fflush(stdout);
    platform::setPlatform(nullptr);
    std::string difference = answers.difference();
    if (!difference.empty()) {
        complain("replay differs at " + difference);
        return 1;
    }
    complain("replay: the " + std::to_string(recorded) + " recorded calls, asked in order");
    return 0;
}

const RunnerOption* runnerOptionOf(const std::u16string& arg) {
    for (const RunnerOption& option : kRunnerOptions)
        if (arg == option.name)
            return &option;
    return nullptr;
}

} // namespace

int qir::programMain(int argc, const char16_t* const* argv) {
    RunnerOptions runner;
    int first = 1;
    while (first < argc) {
        std::u16string arg = argv[first];
        if (arg == u"--") {
            ++first;
            break;
        }
        const RunnerOption* option = runnerOptionOf(arg);
        if (!option)
            break;
        runner.*(option->given) = true;
        if (!option->file) {
            ++first;
            continue;
        }
        if (first + 1 >= argc) {
            complain(text::toUtf8(arg) + " needs a file name");
            return kRunnerFailure;
        }
        runner.*(option->file) = argv[first + 1];
        first += 2;
    }
    if (std::string conflict = conflictOf(runner); !conflict.empty()) {
        complain(conflict);
        return kRunnerFailure;
    }
    if (runner.haveReplay) {
        std::vector<const char16_t*> args(argv, argv + argc);
        args.erase(args.begin() + 1, args.begin() + first);
        args.push_back(nullptr);
        return replay(runner, static_cast<int>(args.size()) - 1, args.data());
    }
    std::string error;
    simrunner::RunOutputs outputs;
    std::unique_ptr<sim::SimMachine> machine = machineOf(runner, &outputs.description, &error);
    if (!machine) {
        complain(error);
        return kRunnerFailure;
    }
    if (runner.noRun && first < argc) {
        complain("--no-run runs nothing: no program arguments");
        return kRunnerFailure;
    }
    if (runner.haveState)
        outputs.statePath = runner.statePath;
    if (runner.haveTrace)
        outputs.tracePath = runner.tracePath;
    if (runner.haveWriteMachine && !runner.haveCapture)
        outputs.machinePath = runner.writeMachinePath;
    if (runner.haveEvent)
        simrunner::applyEvent(*machine, runner.event);
    if (runner.noRun) {
        simrunner::writeRunOutputs(outputs, *machine);
        return 0;
    }
    // A run interrupted at a request leaves the files it was asked for, with the machine
    // as the interruption left it, and then ends as a killed process does.
    machine->onInterrupt = [&outputs, &machine](sim::FaultEffect) {
        simrunner::writeRunOutputs(outputs, *machine);
        simrunner::endAsKilled();
    };

    // The tool sees the runner's path as argument 0 and the rest unchanged.
    std::vector<const char16_t*> toolArgs;
    toolArgs.push_back(argv[0]);
    for (int i = first; i < argc; ++i)
        toolArgs.push_back(argv[i]);
    toolArgs.push_back(nullptr);
    // Unless the description fixes it, the process command line is that of the tool run
    // with these arguments, the same on every host.
    if (machine->commandLine == u"qir.exe") {
        if (runner.scan)
            machine->commandLine = u"qir-scan.exe";
        for (int i = first; i < argc; ++i)
            machine->commandLine += u" " + quoted(argv[i]);
    }

    platform::setPlatform(machine.get());
    const int toolArgc = static_cast<int>(toolArgs.size()) - 1;
    int result = runner.scan ? scan::scanMain(toolArgc, toolArgs.data())
                             : mainRoutine(toolArgc, toolArgs.data());
    std::fflush(stdout);
    platform::setPlatform(nullptr);
    machine->resultCode = result;
    simrunner::writeRunOutputs(outputs, *machine);
    return result;
}
