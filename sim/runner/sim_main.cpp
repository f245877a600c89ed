// qir-sim: the tool's main routine on a simulated machine.
//
//   qir-sim [--machine FILE | --from-capture FILE [--write-machine FILE]]
//           [--state FILE] [--trace FILE] [--] [tool arguments...]
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

} // namespace

int qir::programMain(int argc, const char16_t* const* argv) {
    std::u16string machinePath, statePath, tracePath, capturePath, writeMachinePath;
    bool haveMachine = false, haveState = false, haveTrace = false, haveCapture = false,
         haveWriteMachine = false;
    struct FileOption {
        const char16_t* name;
        std::u16string* path;
        bool* given;
    };
    const FileOption options[] = {
        {u"--machine", &machinePath, &haveMachine},
        {u"--state", &statePath, &haveState},
        {u"--trace", &tracePath, &haveTrace},
        {u"--from-capture", &capturePath, &haveCapture},
        {u"--write-machine", &writeMachinePath, &haveWriteMachine},
    };
    int first = 1;
    while (first < argc) {
        std::u16string arg = argv[first];
        if (arg == u"--") {
            ++first;
            break;
        }
        const FileOption* option = nullptr;
        for (const FileOption& o : options)
            if (arg == o.name)
                option = &o;
        if (!option)
            break;
        if (first + 1 >= argc) {
            complain(text::toUtf8(arg) + " needs a file name");
            return kRunnerFailure;
        }
        *option->path = argv[first + 1];
        *option->given = true;
        first += 2;
    }
    if (haveCapture && haveMachine) {
        complain("--machine and --from-capture name two machines; give one");
        return kRunnerFailure;
    }
    if (haveWriteMachine && !haveCapture) {
        complain("--write-machine writes the machine of --from-capture");
        return kRunnerFailure;
    }

    std::string error;
    std::unique_ptr<sim::SimMachine> machine;
    if (haveCapture) {
        std::string description = sim::machineOfCaptureFile(text::toUtf8(capturePath), &error);
        if (!description.empty() && haveWriteMachine &&
            !writeHostFile(writeMachinePath, description)) {
            complain("cannot write the machine file " + text::toUtf8(writeMachinePath));
            return kRunnerFailure;
        }
        if (!description.empty())
            machine = sim::loadMachine(description, &error);
    } else {
        machine = haveMachine ? sim::loadMachineFile(text::toUtf8(machinePath), &error)
                              : sim::loadMachine(sim::kDefaultMachineText, &error);
    }
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
    if (machine->commandLine == u"qir.exe")
        for (int i = first; i < argc; ++i)
            machine->commandLine += u" " + quoted(argv[i]);

    platform::setPlatform(machine.get());
    int result = mainRoutine(static_cast<int>(toolArgs.size()) - 1, toolArgs.data());
    std::fflush(stdout);
    platform::setPlatform(nullptr);
    machine->resultCode = result;

    if (haveState && !writeHostFile(statePath, machine->stateJson()))
        complain("cannot write the state file " + text::toUtf8(statePath));
    if (haveTrace) {
        std::string trace;
        for (const std::string& line : machine->trace())
            trace += line + "\n";
        if (!writeHostFile(tracePath, trace))
            complain("cannot write the trace file " + text::toUtf8(tracePath));
    }
    return result;
}
