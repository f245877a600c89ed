#include <gtest/gtest.h>

#include <memory>

#include "app/console.h"
#include "app/main_routine.h"
#include "bench/bench_machines.h"
#include "bench/discard_sink.h"
#include "bench/free_download_platform.h"
#include "bench/whole_run.h"
#include "firmware/firmware_image.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

namespace {

using namespace qir;
using namespace qir::bench;

std::unique_ptr<sim::SimMachine> load(const MachineShape& shape) {
    std::string error;
    auto machine = sim::loadMachine(machineDescription(shape), &error);
    EXPECT_TRUE(machine) << error;
    return machine;
}

int32_t runSilently(sim::SimMachine& machine) {
    DiscardSink sink;
    setConsoleSink(&sink);
    platform::setPlatform(&machine);
    const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
    const int32_t result = mainRoutine(2, argv);
    platform::setPlatform(nullptr);
    setConsoleSink(nullptr);
    return result;
}

struct ShapeCase {
    const char* name;
    MachineShape shape;
};

const ShapeCase kEligible[] = {
    {"inbox", {3, 0, 0, 0, 0, 0, true}},
    {"rst raid and pass-through with inbox", {2, 3, 2, 0, 0, 5, true}},
    {"vroc raid with inbox", {1, 0, 0, 3, 0, 4, true}},
    {"vroc non-raid", {0, 0, 0, 0, 3, 0, true}},
};

// A machine that does not hold what its shape says would measure something else.
TEST(BenchMachinesTest, EveryDriveOfAnEligibleMachineEndsUpWithTheImage) {
    loadWorkingCopy();
    const std::string image = sim::imageDigest(workingCopy(), kFirmwareImageSize);
    for (const ShapeCase& c : kEligible) {
        SCOPED_TRACE(c.name);
        auto machine = load(c.shape);
        ASSERT_TRUE(machine);
        EXPECT_EQ(static_cast<int>(machine->devices.size()), deviceCountOf(c.shape));
        ASSERT_EQ(static_cast<int>(machine->drives.size()), driveCountOf(c.shape));
        EXPECT_EQ(runSilently(*machine), 0);
        for (const sim::NvmeDrive& drive : machine->drives)
            EXPECT_EQ(drive.committedDigest(), image);
        EXPECT_EQ(machine->openHandles, 0);
        EXPECT_EQ(machine->openDeviceInfoSets, 0);
    }
}

TEST(BenchMachinesTest, ADiscoveryMachineIdentifiesEveryRstDiskAndUpdatesNone) {
    const MachineShape shape{0, 0, 6, 0, 0, 40, false};
    auto machine = load(shape);
    ASSERT_TRUE(machine);
    EXPECT_EQ(static_cast<int>(machine->devices.size()), 47);
    EXPECT_EQ(runSilently(*machine), 1);
    EXPECT_EQ(machine->requestCount("rst.identify"), 6);
    for (const sim::NvmeDrive& drive : machine->drives)
        EXPECT_TRUE(drive.downloadSizes().empty());
}

TEST(BenchMachinesTest, OtherDevicesLieBetweenTheDisksNotAfterThem) {
    auto machine = load({0, 0, 2, 0, 0, 9, false});
    ASSERT_TRUE(machine);
    // port, disk, disk among 9 others: the others are split into 4 gaps.
    std::vector<int> listed;
    for (size_t i = 0; i < machine->devices.size(); ++i)
        if (machine->devices[i].deviceClass != sim::DeviceClass::Other)
            listed.push_back(static_cast<int>(i));
    EXPECT_EQ(listed, (std::vector<int>{2, 5, 8}));
}

TEST(BenchMachinesTest, ShapesNoMachineCanHaveHaveNoDescription) {
    const ShapeCase refused[] = {
        {"both controllers", {0, 1, 0, 1, 0, 0, true}},
        {"raid and non-raid on vroc", {0, 0, 0, 1, 1, 0, true}},
        {"more rst drives than path ids", {0, 200, 56, 0, 0, 0, true}},
    };
    for (const ShapeCase& c : refused)
        EXPECT_EQ(machineDescription(c.shape), "") << c.name;
}

TEST(WholeRunTest, CountsTheRunAndRefusesABrokenDescription) {
    const WholeRun run = runWholeMachine(machineDescription({1, 0, 0, 0, 0, 0, true}));
    ASSERT_TRUE(run.loaded);
    EXPECT_EQ(run.result, 0);
    EXPECT_GT(run.counts.deviceRequests, 72u); // 72 pieces at granularity 8
    EXPECT_GE(run.firstDeviceRequestNanos, 0);
    EXPECT_LE(run.firstDeviceRequestNanos, run.runNanos);
    EXPECT_GT(run.consoleBytes, 0u);
    EXPECT_FALSE(runWholeMachine("{").loaded);
}

TEST(FreeDownloadTest, DownloadsNeverReachTheDriveYetTheRunSucceeds) {
    auto machine = load({1, 0, 0, 0, 0, 0, true});
    ASSERT_TRUE(machine);
    FreeDownloadPlatform free(*machine);
    DiscardSink sink;
    setConsoleSink(&sink);
    platform::setPlatform(&free);
    const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
    EXPECT_EQ(mainRoutine(2, argv), 0);
    platform::setPlatform(nullptr);
    setConsoleSink(nullptr);
    EXPECT_EQ(free.freeRequests, 73u); // 72 pieces and the activation
    EXPECT_EQ(machine->requestCount("inbox.get_info"), 1);
    EXPECT_TRUE(machine->drives[0].downloadSizes().empty());
    EXPECT_EQ(runWithFreeDownloads("{"), 2);
}

} // namespace
