// qir-bench: the tool's own cost per drive against a copy loop, and the cost of a whole
// run as machines grow. scripts/bench.sh runs it and checks the budgets.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/console.h"
#include "bench/bench_machines.h"
#include "bench/discard_sink.h"
#include "bench/free_download_platform.h"
#include "bench/free_drive_platform.h"
#include "bench/route_cases.h"
#include "bench/whole_run.h"
#include "firmware/firmware_image.h"
#include "platform/platform.h"

namespace {

using namespace qir::bench;

// CPU time of this thread: the other processes on a shared machine barely move it.
int64_t threadCpuNanos() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

// Route and copy loop run in turn in every iteration, so that both see the same machine
// load and cache state; the ratio of their sums is the route's own overhead.
void routeAgainstBaseline(benchmark::State& state) {
    const auto route = static_cast<Route>(state.range(0));
    const auto granularity = static_cast<uint32_t>(state.range(1));
    qir::loadWorkingCopy();
    FreeDrivePlatform drive;
    DiscardSink sink;
    qir::setConsoleSink(&sink);
    qir::platform::setPlatform(&drive);
    const qir::TargetDisk target = benchTarget(route, granularity);
    std::vector<uint8_t> request(size_t{granularity} * 4096 + requestOverheadOf(route));

    int64_t routeNanos = 0, baselineNanos = 0;
    for (auto _ : state) {
        int64_t t0 = threadCpuNanos();
        const uint32_t result = runRoute(route, target);
        int64_t t1 = threadCpuNanos();
        benchmark::DoNotOptimize(baselineLoop(request.data(), route, granularity));
        benchmark::ClobberMemory();
        int64_t t2 = threadCpuNanos();
        if (result != 0) {
            state.SkipWithError("the route failed on a drive that accepts everything");
            break;
        }
        routeNanos += t1 - t0;
        baselineNanos += t2 - t1;
        state.SetIterationTime(static_cast<double>(t1 - t0) / 1e9);
    }
    qir::platform::setPlatform(nullptr);
    qir::setConsoleSink(nullptr);
    const double n = static_cast<double>(state.iterations());
    state.counters["route_us"] = routeNanos / n / 1e3;
    state.counters["baseline_us"] = baselineNanos / n / 1e3;
    state.counters["ratio"] = baselineNanos > 0 ? double(routeNanos) / double(baselineNanos) : 0;
    state.SetLabel(routeName(route));
}

void routeCases(benchmark::internal::Benchmark* b) {
    for (int route : {0, 1, 2})
        for (int granularity : {1, 8, 64})
            b->Args({route, granularity});
}

BENCHMARK(routeAgainstBaseline)
    ->Name("route")
    ->ArgNames({"route", "fwug"})
    ->Apply(routeCases)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.2);

struct NamedShape {
    const char* name;
    MachineShape shape;
};

// 32 eligible drives over the three stacks take two machines, as one machine has either
// an RST or a VROC controller; the rest grow devices and RST disks separately and
// together, so that a cost of disks times devices stands out.
const std::vector<NamedShape>& shapes() {
    static const std::vector<NamedShape> all = {
        {"one_drive", {1, 0, 0, 0, 0, 0, true}},
        {"rst_inbox_32", {16, 8, 8, 0, 0, 0, true}},
        {"vroc_inbox_32", {16, 0, 0, 16, 0, 0, true}},
        {"devices2500_rst32", {0, 0, 32, 0, 0, 2500 - 33, false}},
        {"devices2500_rst64", {0, 0, 64, 0, 0, 2500 - 65, false}},
        {"devices5000_rst32", {0, 0, 32, 0, 0, 5000 - 33, false}},
        {"devices5000_rst64", {0, 0, 64, 0, 0, 5000 - 65, false}},
    };
    return all;
}

// A whole run of the tool, or the scan, on one of the machines above.
void machineRun(benchmark::State& state, WholeRun (*run)(const std::string&)) {
    const NamedShape& named = shapes()[static_cast<size_t>(state.range(0))];
    static std::map<std::string, std::string> descriptions;
    std::string& description = descriptions[named.name];
    if (description.empty())
        description = machineDescription(named.shape);
    qir::loadWorkingCopy();

    WholeRun last;
    int64_t runNanos = 0, firstRequestNanos = 0;
    for (auto _ : state) {
        state.PauseTiming();
        last = run(description);
        state.ResumeTiming();
        if (!last.loaded) {
            state.SkipWithError(last.loadError.c_str());
            break;
        }
        runNanos += last.runNanos;
        firstRequestNanos += last.firstDeviceRequestNanos;
        state.SetIterationTime(static_cast<double>(last.runNanos) / 1e9);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["drives"] = driveCountOf(named.shape);
    state.counters["devices"] = deviceCountOf(named.shape);
    state.counters["result"] = last.result;
    state.counters["calls"] = static_cast<double>(last.counts.total());
    state.counters["walk_steps"] = static_cast<double>(last.counts.setWalkSteps);
    state.counters["device_sets"] = static_cast<double>(last.counts.deviceSets);
    state.counters["all_classes_sets"] = static_cast<double>(last.counts.allClassesSets);
    state.counters["device_requests"] = static_cast<double>(last.counts.deviceRequests);
    state.counters["first_request_us"] = firstRequestNanos / n / 1e3;
    state.counters["run_ms"] = runNanos / n / 1e6;
    state.SetLabel(named.name);
}

void shapeCases(benchmark::internal::Benchmark* b) {
    for (size_t i = 0; i < shapes().size(); ++i)
        b->Arg(static_cast<int64_t>(i));
}

void onEveryMachine(benchmark::internal::Benchmark* b) {
    b->ArgName("machine")
        ->Apply(shapeCases)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.2);
}

BENCHMARK_CAPTURE(machineRun, whole_run, &runWholeMachine)
    ->Name("whole_run")
    ->Apply(onEveryMachine);
BENCHMARK_CAPTURE(machineRun, scan, &runWholeScan)->Name("scan")->Apply(onEveryMachine);

} // namespace

// "qir-bench --machine NAME" prints the description of one of the machines above, for
// runs of qir-sim; "qir-bench --run-free-downloads NAME" runs the tool on it once, its
// drives taking firmware at no cost, so that the process's peak memory is the tool's.
int main(int argc, char** argv) {
    if (argc == 3 &&
        (std::string(argv[1]) == "--machine" || std::string(argv[1]) == "--run-free-downloads")) {
        const std::string name = argv[2];
        for (const NamedShape& named : shapes()) {
            if (name != named.name)
                continue;
            const std::string description = machineDescription(named.shape);
            if (std::string(argv[1]) == "--machine") {
                std::fputs(description.c_str(), stdout);
                return 0;
            }
            return runWithFreeDownloads(description);
        }
        std::fprintf(stderr, "qir-bench: no machine named %s\n", name.c_str());
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
