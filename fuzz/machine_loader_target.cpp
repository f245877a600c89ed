#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_platform.h"
#include "fuzz/fuzz_targets.h"

#if __has_include("sim/machine_loader.h")
#include "app/main_routine.h"
#include "platform/platform.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"
#define QIR_HAVE_MACHINE_LOADER 1
#endif

namespace qir::fuzz {

#ifdef QIR_HAVE_MACHINE_LOADER

// Descriptions longer than this are only loaded, not run: a run on a big machine
// sends thousands of requests and would slow the search down to a crawl.
constexpr size_t kLongestRunDescription = 16384;

bool machineLoaderAvailable() {
    return true;
}

int runMachineLoaderInput(const uint8_t* data, size_t size) {
    prepareOnce();
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::unique_ptr<sim::SimMachine> machine = sim::loadMachine(text, &error);
    if (!machine) {
        if (error.empty()) {
            std::fputs("fuzz_machine_loader: refused without a reason\n", stderr);
            std::abort();
        }
        return 0;
    }
    if (size > kLongestRunDescription)
        return 0;
    // A kill or power-cut fault ends the whole process by design; the run goes on without.
    auto& faults = machine->faults;
    faults.erase(std::remove_if(faults.begin(), faults.end(),
                                [](const sim::SimFault& f) {
                                    return f.effect == sim::FaultEffect::Kill ||
                                           f.effect == sim::FaultEffect::PowerCut;
                                }),
                 faults.end());
    const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
    platform::setPlatform(machine.get());
    int32_t code = mainRoutine(2, argv);
    platform::setPlatform(nullptr);
    if (code != 0 && code != 1 && code != 1602) {
        std::fprintf(stderr, "fuzz_machine_loader: exit code %d\n", code);
        std::abort();
    }
    if (machine->openHandles != 0 || machine->openDeviceInfoSets != 0) {
        std::fprintf(stderr, "fuzz_machine_loader: %d handles and %d sets left open\n",
                     machine->openHandles, machine->openDeviceInfoSets);
        std::abort();
    }
    return 0;
}

#else

bool machineLoaderAvailable() {
    return false;
}
int runMachineLoaderInput(const uint8_t*, size_t) {
    return 0;
}

#endif

} // namespace qir::fuzz
