// Shared pieces of the application shell tests: a captured console, a simulated
// machine installed as the platform, the main routine run with arguments, and a scratch
// folder for log files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/main_routine.h"
#include "app/updater/disk_updater.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "sim/sim_machine.h"
#include "tests/support/arguments.h"
#include "tests/support/console_capture.h"
#include "tests/support/scratch_folder.h"

namespace qir::testing {

// The usage text, as the command line prints it on an invalid argument.
inline const std::string kUsage =
    "\n"
    "Allowed Behaviors:\n"
    "/s                  Execute update package in silently without user intervention.\n"
    "/log=<FILEPATH>     Write installation log to a specified file.\n";

inline std::u16string wide(const std::filesystem::path& path) {
    return text::fromUtf8(path.string());
}

// One eligible inbox disk; its route first does `during` (to the host, say), then gives
// `code`. Every other operation finds nothing.
inline DiskUpdaterOps oneInboxDisk(
    uint32_t code, std::function<void()> during = [] {}) {
    DiskUpdaterOps o;
    o.findRstController = [](RaidController&) { return false; };
    o.enumerateRstDisks = [](const RaidController&, DiskList&) { return 0; };
    o.enumerateNvmeDisks = [](DiskList& list) {
        TargetDisk d;
        d.driverKind = InboxNvme;
        d.devicePath = u"\\\\.\\PHYSICALDRIVE0";
        list.push_back(d);
        return 0;
    };
    o.identifyRstDisk = [](TargetDisk, DiskList&) { return 0; };
    o.queryCsmiRaidConfig = [](TargetDisk, DiskList&) {};
    o.enumerateVrocDisks = [](TargetDisk, DiskList&, int32_t*) {};
    o.identifyInboxDisk = [](TargetDisk d, DiskList& out) {
        d.modelNumber = u"M";
        d.serialNumber = u"S";
        d.firmwareRevision = u"VDL7W2QA";
        out.push_back(d);
        return 0;
    };
    o.updateInboxDisk = [during, code](const TargetDisk&, const uint32_t*) {
        during();
        return code;
    };
    o.updateIrstDisk = [](const TargetDisk&, const uint32_t*) { return 1u; };
    o.updateVrocDisk = [](const TargetDisk&, const uint32_t*, int32_t) { return 1u; };
    return o;
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setPlatform(&machine); }
    void TearDown() override { platform::setPlatform(nullptr); }

    // The main routine with "qir.exe" and the arguments; the production operations
    // unless the test hands in its own.
    int32_t runMain(std::vector<std::u16string> args, const DiskUpdaterOps* ops = nullptr) {
        ArgumentVector argv(u"qir.exe", std::move(args));
        return ops ? mainRoutine(argv.argc(), argv.argv(), *ops)
                   : mainRoutine(argv.argc(), argv.argv());
    }

    sim::SimMachine machine;
    testing::ConsoleCapture console;
    qir::testing::ScratchFolder scratch{"qir_app"};
    const std::filesystem::path& dir = scratch.path();
};

} // namespace qir::testing
