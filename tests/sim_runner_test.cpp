// qir-sim as a process: its options, its exit codes and what it writes where.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "capture/capture_file.h"
#include "firmware/firmware_image.h"
#include "sim/nvme_drive.h"
#include "tests/support/capture_support.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/sim_process.h"

namespace {

using qir::testing::SimRun;
using qir::testing::slurp;

// Each test's files live in a folder of its own, removed when the test ends.
class SimRunner : public ::testing::Test {
  protected:
    std::string scratch(const std::string& name) const { return folder.file(name); }

    SimRun runSim(const std::string& args) { return qir::testing::runSimProcess(folder, args); }

    std::string writeMachine(const std::string& name, const std::string& json) {
        std::string path = scratch(name);
        std::ofstream(path) << json;
        return path;
    }

    qir::testing::ScratchFolder folder{"qir_sim_runner"};
};

TEST_F(SimRunner, RefusedDescriptionsExitWithTwoBeforeTheToolRuns) {
    struct Case {
        const char* name;
        std::string args;
        const char* mentions;
    };
    std::string badJson = writeMachine("bad.json", "{\"devices\": [");
    std::string unknownKey = writeMachine("unknown.json", "{\"drivez\": []}");
    std::string unusable = writeMachine(
        "unusable.json", R"({"format": "qir-capture", "schema": 1, "header": {}, "calls": [)"
                         R"({"op": "enum_device_info", "set": 9, "index": 0, "ok": true,)"
                         R"( "out_dev_inst": 1, "out_class": null}]})");
    std::string written = scratch("written.json");
    const Case cases[] = {
        {"unusable capture", "--from-capture " + unusable + " --write-machine " + written,
         "calls[0]: a device set the capture never opened"},
        {"unreadable capture", "--from-capture /nonexistent/c.json", "cannot read capture"},
        {"two machines", "--machine " + unknownKey + " --from-capture " + unusable, "give one"},
        {"unknown event", "--event hibernate", "--event is reboot or power_cycle"},
        {"no-run without an event", "--no-run", "--no-run runs nothing"},
        {"unreadable", "--machine /nonexistent/m.json", "cannot read"},
        {"bad json", "--machine " + badJson, "not valid JSON"},
        {"unknown key", "--machine " + unknownKey, "unknown key"},
        {"missing file name", "--machine", "needs a file name"},
    };
    for (const Case& c : cases) {
        SimRun r = runSim(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_EQ(r.out, "") << c.name << ": the tool must not have run";
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << c.name << ": " << r.err;
    }
    EXPECT_EQ(slurp(written), "") << "a refused capture writes no machine";
}

TEST_F(SimRunner, RunsTheToolOnAMachineRebuiltFromACaptureAndWritesIt) {
    qir::testing::SimulatedMachine original(qir::testing::exampleMachine("vroc_raid"));
    ASSERT_TRUE(original.loaded());
    std::string capture =
        writeMachine("c.json", qir::capture::captureText(qir::testing::kTestHeader,
                                                         qir::testing::recordRun(*original)));
    std::string written = scratch("m.json");
    SimRun rebuilt = runSim("--from-capture " + capture + " --write-machine " + written + " -- /s");
    SimRun again = runSim("--machine " + written + " -- /s");
    SimRun recorded =
        runSim("--machine " + std::string(QIR_SOURCE_DIR) + "/sim/machines/vroc_raid.json -- /s");
    EXPECT_EQ(rebuilt.exitCode, recorded.exitCode);
    EXPECT_EQ(rebuilt.out, recorded.out);
    EXPECT_EQ(again.out, recorded.out);
}

// A capture's text without its header line, the one line two recordings of one machine
// may differ in.
std::string withoutHeader(const std::string& capture) {
    size_t first = capture.find('\n');
    size_t second = first == std::string::npos ? first : capture.find('\n', first + 1);
    return second == std::string::npos ? capture
                                       : capture.substr(0, first) + capture.substr(second);
}

// A scan with /capture= on each example machine, rebuilt,
// runs the update with the same standard output and log as the machine itself (its
// power-cycle drives taken at reset, which no answer of a scan tells).
TEST_F(SimRunner, AScanCaptureRebuildsEachExampleMachineForTheUpdate) {
    for (const char* name : {"default", "vroc_raid", "vroc_non_raid", "empty"}) {
        SCOPED_TRACE(name);
        std::string original = qir::testing::exampleMachine(name);
        for (size_t at; (at = original.find("\"power_cycle\"")) != std::string::npos;)
            original.replace(at, 13, "\"reset\"");
        std::string machine = writeMachine("m.json", original);
        std::string capture = scratch("c.json"), log = scratch("r.log");
        SimRun scan = runSim("--scan --machine " + machine + " -- /capture=" + capture);
        EXPECT_LE(scan.exitCode, 1) << scan.err;
        SimRun rebuilt = runSim("--from-capture " + capture + " -- /s /log=" + log);
        std::string rebuiltLog = slurp(log);
        SimRun recorded = runSim("--machine " + machine + " -- /s /log=" + log);
        EXPECT_EQ(rebuilt.exitCode, recorded.exitCode);
        EXPECT_EQ(rebuilt.out, recorded.out);
        EXPECT_EQ(rebuiltLog, slurp(log)) << "the clock is the capture's, the paths the same";

        // Scanned in turn, the rebuilt machine reports and is asked the same.
        std::string again = scratch("again.json");
        SimRun rescan = runSim("--scan --from-capture " + capture + " -- /capture=" + again);
        EXPECT_EQ(rescan.out, scan.out);
        EXPECT_EQ(withoutHeader(slurp(again)), withoutHeader(slurp(capture)));

        SimRun replayed = runSim("--replay " + capture + " --scan");
        EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
        EXPECT_EQ(replayed.out, scan.out);
    }
}

TEST_F(SimRunner, AReplayFailsAtTheFirstQuestionAChangedAnswerChanges) {
    std::string capture = scratch("c.json");
    runSim("--scan -- /capture=" + capture);
    std::string error;
    std::optional<qir::capture::CallList> calls = qir::capture::readCapture(slurp(capture), &error);
    ASSERT_TRUE(calls) << error;
    // The first inbox disk now reports a revision the image does not replace, so the scan
    // no longer asks it for its firmware slots: the replay parts from the record at the
    // open of that request.
    size_t query = 0;
    while (query < calls->size() && (*calls)[query].number != 0x2D1400)
        ++query;
    ASSERT_LT(query, calls->size());
    std::copy_n("VDL0XXXX", 8, (*calls)[query].out.begin() + 48 + 64);
    std::u16string disk = (*calls)[query - 1].text;
    size_t getInfo = query + 1;
    while (getInfo < calls->size() && (*calls)[getInfo].text != disk)
        ++getInfo;
    ASSERT_LT(getInfo, calls->size());
    std::string changed =
        writeMachine("changed.json", qir::capture::captureText(qir::testing::kTestHeader, *calls));
    SimRun r = runSim("--replay " + changed + " --scan");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("replay differs at calls[" + std::to_string(getInfo) + "]: recorded"),
              std::string::npos)
        << r.err;
    // The update asks for more than a look at the machine does.
    SimRun update = runSim("--replay " + capture + " -- /s");
    EXPECT_EQ(update.exitCode, 1);
    EXPECT_NE(update.err.find("replay differs at"), std::string::npos) << update.err;
}

TEST_F(SimRunner, ExitCodeIsTheToolsAndTheStateRecordsIt) {
    std::string state = scratch("state.json"), trace = scratch("trace.txt");
    SimRun r = runSim("--state " + state + " --trace " + trace + " -- /s");
    std::string dump = slurp(state);
    ASSERT_FALSE(dump.empty());
    // A POSIX exit status keeps only the low byte of a result such as 1602.
    nlohmann::json parsed = nlohmann::json::parse(dump, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded());
    EXPECT_EQ(parsed["result_code"].get<int>() & 0xFF, r.exitCode) << dump;
    EXPECT_NE(dump.find("\"open_handles\": 0"), std::string::npos);
    EXPECT_NE(dump.find("\"open_device_info_sets\": 0"), std::string::npos);
    EXPECT_NE(dump.find("\"message_box\": null"), std::string::npos) << "/s shows no box";
    EXPECT_EQ(r.out.find("qir-sim"), std::string::npos) << "runner text on standard output";
}

TEST_F(SimRunner, ArgumentsAfterTheOptionsGoToTheTool) {
    // An option the tool does not know ends in its usage text and exit code 1, whether
    // it follows "--" or simply the runner's own options.
    SimRun separated = runSim("-- /nonsense");
    SimRun direct = runSim("/nonsense");
    EXPECT_EQ(separated.exitCode, 1);
    EXPECT_EQ(direct.exitCode, 1);
    EXPECT_EQ(separated.out, direct.out);
    // "--state" after the first tool argument is the tool's, not the runner's.
    std::string state = scratch("not_written.json");
    SimRun passed = runSim("/nonsense --state " + state);
    EXPECT_EQ(passed.exitCode, 1);
    EXPECT_EQ(slurp(state), "");
}

TEST_F(SimRunner, RunsAreRepeatable) {
    std::string s1 = scratch("s1.json"), s2 = scratch("s2.json");
    SimRun a = runSim("--state " + s1 + " /s");
    SimRun b = runSim("--state " + s2 + " /s");
    EXPECT_EQ(a.exitCode, b.exitCode);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(slurp(s1), slurp(s2));
}

TEST_F(SimRunner, DefaultMachineEndsWithTheImageOnEligibleInboxDrivesOnly) {
    std::string state = scratch("default_state.json");
    SimRun r = runSim("--state " + state + " /s");
    nlohmann::json dump = nlohmann::json::parse(slurp(state), nullptr, false);
    ASSERT_FALSE(dump.is_discarded());
    const std::string image = qir::sim::imageDigest(qir::firmwareImage(), qir::kFirmwareImageSize);
    // The pending slot each drive should end with; 0: the drive is left alone.
    std::map<std::string, int> expectUpdated = {{"inbox-eligible-a", 2},
                                                {"inbox-eligible-b", 1},
                                                {"inbox-power-cycle", 2},
                                                {"inbox-not-eligible", 0},
                                                {"inbox-other-maker", 0}};
    int seen = 0;
    for (const auto& drive : dump["drives"]) {
        auto it = expectUpdated.find(drive["id"].get<std::string>());
        if (it == expectUpdated.end())
            continue;
        ++seen;
        if (it->second) {
            EXPECT_EQ(drive["committed_digest"], image) << it->first;
            EXPECT_EQ(drive["pending_slot"], it->second) << it->first;
        } else {
            EXPECT_EQ(drive["commits"], 0) << it->first;
            EXPECT_EQ(drive["downloads"]["count"], 0) << it->first;
        }
    }
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(dump["open_handles"], 0);
    EXPECT_EQ(dump["open_device_info_sets"], 0);
    EXPECT_EQ(dump["result_code"].get<int>() & 0xFF, r.exitCode);
}

} // namespace
