// Recording a machine for the capture tests: the tool's discovery and identification run
// through the recorder on a simulated machine, the update routes left out so that the
// capture holds the questions of a look at the machine and nothing it wrote.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_routine.h"
#include "app/updater/disk_updater.h"
#include "capture/capture_file.h"
#include "capture/recording_platform.h"
#include "platform/platform.h"
#include "tests/support/console_capture.h"

namespace qir::testing {

// The description of the example machine sim/machines/<name>.json.
inline std::string exampleMachine(const std::string& name) {
    std::ifstream in(std::string(QIR_SOURCE_DIR) + "/sim/machines/" + name + ".json");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline DiskUpdaterOps discoveryOnly() {
    DiskUpdaterOps ops = productionDiskUpdaterOps();
    ops.updateInboxDisk = [](const TargetDisk&, const uint32_t*) { return 0u; };
    ops.updateIrstDisk = [](const TargetDisk&, const uint32_t*) { return 0u; };
    ops.updateVrocDisk = [](const TargetDisk&, const uint32_t*, int32_t) { return 0u; };
    return ops;
}

// The main routine with `/s` and the given ops on `target`, which is the platform
// again afterwards.
inline int runTool(platform::Platform& target, platform::Platform& restored,
                   const DiskUpdaterOps& ops = discoveryOnly()) {
    ConsoleCapture quiet;
    platform::setPlatform(&target);
    const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
    int result = mainRoutine(2, argv, ops);
    platform::setPlatform(&restored);
    return result;
}

// The same through a recorder: the calls it made.
inline capture::CallList recordRun(platform::Platform& target,
                                   const DiskUpdaterOps& ops = discoveryOnly()) {
    capture::RecordingPlatform recorder(target);
    runTool(recorder, target, ops);
    return recorder.calls();
}

inline const capture::CaptureHeader kTestHeader = {"test-host", "2026-12-08T12:00:00Z", ""};

} // namespace qir::testing
