// qir-sim: the tool's main routine, or the pre-flight scan, on a simulated machine.
//
//   qir-sim [--scan] [--machine FILE] [--state FILE] [--trace FILE] [--] [arguments...]
//
// Standard output belongs to the tool; the runner speaks only on standard error.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/main_routine.h"
#include "platform/entry.h"
#include "platform/host_file.h"
#include "platform/text_encoding.h"
#include "scan/scan_main.h"
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

bool writeHostFile(const std::u16string& path, const std::string& content) {
    std::FILE* f = qir::host::openForWriting(path);
    if (!f)
        return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

std::u16string quoted(const std::u16string& arg) {
    if (!arg.empty() && arg.find(u' ') == std::u16string::npos)
        return arg;
    return u"\"" + arg + u"\"";
}

// The runner's own options, one row each; everything from the first other argument (or
// after "--") goes to the program.
struct RunnerOptions {
    std::u16string machinePath, statePath, tracePath;
    bool haveMachine = false, haveState = false, haveTrace = false, scan = false;
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
};

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
    std::string error;
    std::unique_ptr<sim::SimMachine> machine =
        runner.haveMachine ? sim::loadMachineFile(text::toUtf8(runner.machinePath), &error)
                           : sim::loadMachine(sim::kDefaultMachineText, &error);
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

    if (runner.haveState && !writeHostFile(runner.statePath, machine->stateJson()))
        complain("cannot write the state file " + text::toUtf8(runner.statePath));
    if (runner.haveTrace) {
        std::string trace;
        for (const std::string& line : machine->trace())
            trace += line + "\n";
        if (!writeHostFile(runner.tracePath, trace))
            complain("cannot write the trace file " + text::toUtf8(runner.tracePath));
    }
    return result;
}
