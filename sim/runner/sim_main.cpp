// qir-sim: the tool's main routine, or the pre-flight scan, on a simulated machine, on a
// machine rebuilt from a capture, or against a capture itself.
//
//   qir-sim [--scan] [--machine FILE | --from-capture FILE [--write-machine FILE]]
//           [--state FILE] [--trace FILE] [--] [arguments...]
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
#include "sim/capture_rebuild.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

namespace qir::sim {
extern const char kDefaultMachineText[];
}

namespace {

constexpr int kRunnerFailure = 2;

void complain(const std::string& message) {
    std::fputs(("qir-sim: " + message + "\n").c_str(), stderr);
}

std::u16string quoted(const std::u16string& arg) {
    if (!arg.empty() && arg.find(u' ') == std::u16string::npos)
        return arg;
    return u"\"" + arg + u"\"";
}

// The runner's own options, one row each; everything from the first other argument (or
// after "--") goes to the program.
struct RunnerOptions {
    std::u16string machinePath, statePath, tracePath, capturePath, writeMachinePath, replayPath;
    bool haveMachine = false, haveState = false, haveTrace = false, scan = false,
         haveCapture = false, haveWriteMachine = false, haveReplay = false;
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
};

// The options that cannot go together; the reason when some do.
std::string conflictOf(const RunnerOptions& r) {
    if (r.haveCapture && r.haveMachine)
        return "--machine and --from-capture name two machines; give one";
    if (r.haveWriteMachine && !r.haveCapture)
        return "--write-machine writes the machine of --from-capture";
    if (r.haveReplay && (r.haveMachine || r.haveCapture || r.haveState || r.haveTrace))
        return "--replay answers from the capture alone: no machine, state or trace";
    return {};
}

std::unique_ptr<qir::sim::SimMachine> machineOf(const RunnerOptions& runner, std::string* error) {
    using namespace qir;
    if (!runner.haveCapture)
        return runner.haveMachine ? sim::loadMachineFile(text::toUtf8(runner.machinePath), error)
                                  : sim::loadMachine(sim::kDefaultMachineText, error);
    std::string description = sim::machineOfCaptureFile(text::toUtf8(runner.capturePath), error);
    if (description.empty())
        return nullptr;
    if (runner.haveWriteMachine &&
        !qir::host::writeWholeFile(runner.writeMachinePath, description)) {
        *error = "cannot write the machine file " + text::toUtf8(runner.writeMachinePath);
        return nullptr;
    }
    return sim::loadMachine(description, error);
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
    std::unique_ptr<sim::SimMachine> machine = machineOf(runner, &error);
    if (!machine) {
        complain(error);
        return kRunnerFailure;
    }

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

    if (runner.haveState && !qir::host::writeWholeFile(runner.statePath, machine->stateJson()))
        complain("cannot write the state file " + text::toUtf8(runner.statePath));
    if (runner.haveTrace) {
        std::string trace;
        for (const std::string& line : machine->trace())
            trace += line + "\n";
        if (!qir::host::writeWholeFile(runner.tracePath, trace))
            complain("cannot write the trace file " + text::toUtf8(runner.tracePath));
    }
    return result;
}
