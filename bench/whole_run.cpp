#include "bench/whole_run.h"

#include <chrono>
#include <memory>

#include "app/main_routine.h"
#include "bench/discard_sink.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

namespace qir::bench {

WholeRun runWholeMachine(const std::string& description) {
    WholeRun run;
    std::unique_ptr<sim::SimMachine> machine = sim::loadMachine(description, &run.loadError);
    if (!machine)
        return run;
    run.loaded = true;
    CountingPlatform counting(*machine);
    DiscardSink sink;
    setConsoleSink(&sink);
    platform::setPlatform(&counting);
    const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
    counting.startClock();
    const auto start = std::chrono::steady_clock::now();
    run.result = mainRoutine(2, argv);
    run.runNanos = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
    platform::setPlatform(nullptr);
    setConsoleSink(nullptr);
    run.counts = counting.counts();
    run.firstDeviceRequestNanos = counting.firstDeviceRequestNanos();
    run.consoleBytes = sink.bytes;
    return run;
}

} // namespace qir::bench
