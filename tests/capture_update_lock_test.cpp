// The scan's look at the update lock and the power source in a capture: recorded as the
// machine answered, read back, answered alike by the replay, and carried into the machine
// the capture is rebuilt into, which then scans the same.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <vector>

#include "capture/capture_file.h"
#include "capture/replay_platform.h"
#include "platform/text_encoding.h"
#include "scan/scan_main.h"
#include "sim/rebuild/machine_from_capture.h"
#include "tests/support/arguments.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/sim_fixture.h"

namespace qir::testing {
namespace {

using nlohmann::json;
using platform::LockResult;

class CaptureUpdateLock : public SimFixture {
  protected:
    // The scan with the arguments; its exit code.
    int scanWith(std::vector<std::u16string> args) {
        ArgumentVector argv(u"qir-scan.exe", std::move(args));
        int rc = scan::scanMain(argv.argc(), argv.argv());
        console.take();
        return rc;
    }
    std::u16string path(const char* name) { return text::fromUtf8(scratch.file(name)); }

    ScratchFolder scratch{"qir_capture_lock"};
};

TEST_F(CaptureUpdateLock, RecordedReplayedAndRebuiltAlike) {
    struct Case {
        const char* top;
        int exitCode;
    };
    for (const Case& c : {
             Case{R"("update_running": true, "power": {"ac_line": "offline",
                     "battery_present": true, "battery_percent": 12})",
                  6},
             Case{R"("power": {"ac_line": "unknown", "battery_present": null})", 1},
             Case{R"("update_running": false)", 1},
         }) {
        SCOPED_TRACE(c.top);
        load(std::string("{") + c.top + R"(, "devices": [)" + inboxDisk(1, "a") +
             R"(], "drives": [)" + makerDrive("a") + "]}");
        ASSERT_EQ(scanWith({u"/json=" + path("scan.json"), u"/capture=" + path("capture.json")}),
                  c.exitCode);
        const std::string scanned = readFileBytes(scratch.file("scan.json"));

        std::string error;
        std::optional<capture::Capture> read =
            capture::readWholeCapture(readFileBytes(scratch.file("capture.json")), &error);
        ASSERT_TRUE(read) << error;
        // The look comes first: one try of the lock, let go at once when taken, and one
        // question of the power source.
        ASSERT_GE(read->calls.size(), 2u);
        EXPECT_EQ(read->calls[0].op, capture::Op::TakeLock);
        EXPECT_EQ(text::toUtf8(read->calls[0].text), "Global\\KORVANE-QIR-FirmwareUpdate");
        const bool running = c.exitCode == 6;
        EXPECT_EQ(read->calls[0].lock, running ? LockResult::HeldElsewhere : LockResult::Taken);
        EXPECT_EQ(read->calls[1].op,
                  running ? capture::Op::GetPowerStatus : capture::Op::ReleaseLock);

        // The replay answers the scan as the machine did.
        platform::Platform& real = platform::os();
        capture::ReplayPlatform replay(read->calls);
        platform::setPlatform(&replay);
        EXPECT_EQ(scanWith({u"/json=" + path("replayed.json")}), c.exitCode);
        platform::setPlatform(&real);
        EXPECT_EQ(replay.difference(), "");
        EXPECT_EQ(readFileBytes(scratch.file("replayed.json")), scanned);

        // Rebuilt, the machine has the lock and the power source it was seen with.
        const std::string description = sim::machineFromCapture(*read, &error);
        ASSERT_NE(description, "") << error;
        const json rebuilt = json::parse(description);
        EXPECT_EQ(rebuilt.value("update_running", false), running);
        EXPECT_EQ(rebuilt["power"], json::parse(scanned)["power"]);
        load(description);
        EXPECT_EQ(scanWith({u"/json=" + path("rebuilt.json")}), c.exitCode);
        EXPECT_EQ(readFileBytes(scratch.file("rebuilt.json")), scanned);
    }
}

// Every answer the lock and the power source can give survives the capture's text.
TEST(CaptureLockCalls, EveryAnswerReadsBackAsWritten) {
    capture::CallList calls;
    for (LockResult r : {LockResult::Taken, LockResult::TakenOverAbandoned,
                         LockResult::HeldElsewhere, LockResult::NotPermitted, LockResult::Failed}) {
        capture::CapturedCall c;
        c.op = capture::Op::TakeLock;
        c.text = u"Global\\L";
        c.lock = r;
        c.ok = r == LockResult::Taken || r == LockResult::TakenOverAbandoned;
        c.result = c.ok ? 0x1F4 : -1;
        c.error = r == LockResult::NotPermitted || r == LockResult::Failed ? 5 : 0;
        calls.push_back(c);
    }
    capture::CapturedCall release;
    release.op = capture::Op::ReleaseLock;
    release.target = 0x1F4;
    release.ok = false;
    release.error = 288; // ERROR_NOT_OWNER
    calls.push_back(release);
    capture::CapturedCall power;
    power.op = capture::Op::GetPowerStatus;
    power.ok = true;
    power.power = {0, 8 | 2, 17};
    calls.push_back(power);
    power.ok = false;
    power.error = 50;
    power.power = {};
    calls.push_back(power);

    const std::string text = capture::captureText(
        capture::CaptureHeader{"test-host", "2026-12-08T12:00:00Z", ""}, calls);
    std::string error;
    std::optional<capture::CallList> read = capture::readCapture(text, &error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->size(), calls.size());
    EXPECT_EQ(capture::captureText(capture::CaptureHeader{"test-host", "2026-12-08T12:00:00Z", ""},
                                   *read),
              text);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ((*read)[i].lock, calls[i].lock) << i;
        EXPECT_EQ((*read)[i].ok, calls[i].ok) << i;
        EXPECT_EQ((*read)[i].error, calls[i].error) << i;
    }
    EXPECT_EQ((*read)[6].power.batteryFlag, 10);
    EXPECT_EQ((*read)[6].power.batteryLifePercent, 17);

    // A result no lock gives is refused with the entry named.
    std::string bad = text;
    bad.replace(bad.find("\"held_elsewhere\""), 16, "\"held_by_a_ghost\"");
    EXPECT_FALSE(capture::readCapture(bad, &error));
    EXPECT_NE(error.find("calls[2].result: unknown lock result"), std::string::npos) << error;
}

} // namespace
} // namespace qir::testing
