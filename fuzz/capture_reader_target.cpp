#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/main_routine.h"
#include "capture/capture_file.h"
#include "capture/recording_platform.h"
#include "capture/replay_platform.h"
#include "fuzz/fuzz_platform.h"
#include "fuzz/fuzz_targets.h"
#include "platform/platform.h"
#include "scan/image_revision.h"
#include "scan/scan.h"
#include "sim/machine_loader.h"
#include "sim/rebuild/faithful_answers.h"
#include "sim/rebuild/machine_from_capture.h"
#include "sim/sim_machine.h"

namespace qir::fuzz {

namespace {

// Captures longer than this are only read and rebuilt, not run: as for descriptions, a
// big machine's run would slow the search down to a crawl.
constexpr size_t kLongestRunCapture = 16384;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_capture_reader: %s\n", what);
    std::abort();
}

int32_t runTool(platform::Platform& on) {
    const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
    platform::setPlatform(&on);
    int32_t code = mainRoutine(2, argv);
    platform::setPlatform(nullptr);
    if (code != 0 && code != 1 && code != 1602)
        finding("the tool ended with a code it never gives");
    return code;
}

} // namespace

int runCaptureReaderInput(const uint8_t* data, size_t size) {
    prepareOnce();
    std::string error;
    std::optional<capture::CallList> calls =
        capture::readCapture(std::string(reinterpret_cast<const char*>(data), size), &error);
    if (!calls) {
        if (error.empty())
            finding("a capture refused without a reason");
        return 0;
    }
    bool run = size <= kLongestRunCapture;
    // Whatever the record answers, the tool asked from it runs to its end.
    if (run) {
        capture::ReplayPlatform replay(*calls);
        runTool(replay);
    }
    std::string machine = sim::machineFromCapture(*calls, &error);
    if (machine.empty()) {
        if (error.empty())
            finding("a rebuild refused without a reason");
        return 0;
    }
    std::unique_ptr<sim::SimMachine> rebuilt = sim::loadMachine(machine, &error);
    if (!rebuilt)
        finding("a rebuilt machine the loader refuses");
    if (run) {
        runTool(*rebuilt);
        if (rebuilt->openHandles != 0 || rebuilt->openDeviceInfoSets != 0)
            finding("handles or device information sets left open");
        // A fresh rebuilt machine, scanned and recorded, answers the questions it shares
        // with the capture as the capture does.
        std::unique_ptr<sim::SimMachine> again = sim::loadMachine(machine, &error);
        capture::RecordingPlatform recorder(*again);
        platform::setPlatform(&recorder);
        scan::scanMachine(scan::builtImageRevision());
        platform::setPlatform(nullptr);
        std::string unfaithful = sim::firstUnfaithfulAnswer(*calls, recorder.calls());
        if (!unfaithful.empty()) {
            std::fprintf(stderr, "fuzz_capture_reader: %s\n", unfaithful.c_str());
            finding("a rebuilt machine answers a recorded question otherwise");
        }
    }
    return 0;
}

} // namespace qir::fuzz
