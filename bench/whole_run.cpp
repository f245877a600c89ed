#include "bench/whole_run.h"

#include <chrono>
#include <functional>
#include <memory>

#include "app/main_routine.h"
#include "bench/discard_sink.h"
#include "scan/scan_main.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

namespace qir::bench {

namespace {

WholeRun runCounted(const std::string& description, const std::function<int32_t()>& program) {
    WholeRun run;
    std::unique_ptr<sim::SimMachine> machine = sim::loadMachine(description, &run.loadError);
    if (!machine)
        return run;
    run.loaded = true;
    CountingPlatform counting(*machine);
    DiscardSink sink;
    setConsoleSink(&sink);
    platform::setPlatform(&counting);
    counting.startClock();
    const auto start = std::chrono::steady_clock::now();
    run.result = program();
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

} // namespace

WholeRun runWholeMachine(const std::string& description) {
    return runCounted(description, [] {
        const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
        return mainRoutine(2, argv);
    });
}

WholeRun runWholeScan(const std::string& description) {
    return runCounted(description, [] {
        const char16_t* argv[] = {u"qir-scan.exe", nullptr};
        return scan::scanMain(1, argv);
    });
}

} // namespace qir::bench
