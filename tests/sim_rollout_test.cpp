// A rollout as a sequence of qir-sim processes on one machine file: the machine written at
// the end of a run and loaded by the next, the restarts between runs, and runs that a
// kill or a power cut ends at a firmware download, on every driver stack and drive kind.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "platform/text_encoding.h"
#include "scan/image_revision.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/sim_process.h"

namespace qir::testing {
namespace {

using nlohmann::json;

constexpr int kSigKill = 9;
constexpr int kRebootPending = 1602 & 0xFF; // as the shell sees it

std::string example(const std::string& name) {
    return slurp(std::string(QIR_SOURCE_DIR) + "/sim/machines/" + name + ".json");
}

class Rollout : public ::testing::Test {
  protected:
    SimRun sim(const std::string& args) { return runSimProcess(folder, args); }
    std::string file(const std::string& name) const { return folder.file(name); }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    ScratchFolder folder{"qir_rollout"};
};

// Two inbox drives, each taking the image at the next reset or, with `activation`, as
// that says.
std::string inboxMachine(const std::string& activation = "reset") {
    const std::string kind = R"(, "fwug": 8, "slots": {"count": 2, "slot1_read_only": true},)"
                             R"( "activation": ")" +
                             activation + "\"";
    return machineOf(inboxDisk(1, "a") + "," + inboxDisk(2, "b"),
                     makerDrive("a", kind) + "," + makerDrive("b", kind));
}

struct Sequence {
    const char* name;
    std::string machine;
    int scanAfterRun, scanAfterReboot, scanAfterPowerCycle;
};
void PrintTo(const Sequence& c, std::ostream* os) {
    *os << c.name;
}

class RolloutSequence : public Rollout, public ::testing::WithParamInterface<Sequence> {};

// The update, then the scan on the machine it left: straight away, after a warm restart
// and after a power cycle. Only the inbox driver shows the image waiting (5); behind RST
// and VROC the drive reports its old revision until it activates (1).
TEST_P(RolloutSequence, TheScanSeesWhatTheRunLeft) {
    const Sequence& c = GetParam();
    const std::string machine = write("m.json", c.machine), s1 = file("s1.json");
    SimRun run = sim("--machine " + machine + " --write-machine " + s1 + " -- /s");
    ASSERT_TRUE(run.exitCode == 0 || run.exitCode == kRebootPending) << run.err;

    const std::string json1 = file("scan.json");
    EXPECT_EQ(sim("--machine " + s1 + " --scan -- /json=" + json1).exitCode, c.scanAfterRun);
    const json j = json::parse(slurp(json1));
    EXPECT_EQ(j["schema_version"], 3);
    for (const json& drive : j["drives"])
        if (drive["verdict"] == "restart_pending") {
            EXPECT_EQ(drive["pending_revision"], text::toUtf8(scan::builtImageRevision()));
        }
    EXPECT_EQ(sim("--machine " + s1 + " --event reboot --scan").exitCode, c.scanAfterReboot);
    EXPECT_EQ(sim("--machine " + s1 + " --event power_cycle --scan").exitCode,
              c.scanAfterPowerCycle);

    // The event written into the machine is the event a later run meets.
    const std::string s2 = file("s2.json");
    SimRun rebooted = sim("--machine " + s1 + " --event reboot --no-run --write-machine " + s2);
    EXPECT_EQ(rebooted.exitCode, 0) << rebooted.err;
    EXPECT_EQ(rebooted.out, "");
    EXPECT_EQ(sim("--machine " + s2 + " --scan").exitCode, c.scanAfterReboot);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, RolloutSequence,
    ::testing::Values(Sequence{"InboxAtReset", inboxMachine(), 5, 0, 0},
                      Sequence{"InboxAtPowerCycle", inboxMachine("power_cycle"), 5, 5, 0},
                      // RST members at reset, its pass-through and an inbox drive at a
                      // power cycle.
                      Sequence{"Default", example("default"), 1, 1, 0},
                      Sequence{"VrocNonRaid", example("vroc_non_raid"), 1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct Interruption {
    std::string name;
    const char* machine;  // example machine
    const char* download; // request kind of its stack's firmware download
    bool detectOverlap;
    const char* interrupt;
};
void PrintTo(const Interruption& c, std::ostream* os) {
    *os << c.name;
}

class InterruptedRun : public Rollout, public ::testing::WithParamInterface<Interruption> {};

// Every drive of the machine of one kind (overwriting staged pieces or refusing overlaps),
// with activation at a reset so that one restart finishes the rollout.
std::string machineOfKind(const Interruption& c, bool withInterrupt) {
    json m = json::parse(example(c.machine));
    for (json& drive : m["drives"]) {
        drive["detect_overlap"] = c.detectOverlap;
        drive["activation"] = "reset";
    }
    m["faults"] = json::array();
    if (withInterrupt)
        m["faults"].push_back(
            {{"kind", c.download}, {"occurrence", 3}, {"interrupt", c.interrupt}});
    return m.dump();
}

// The third piece of the first drive of the stack ends the run. Killed, the run leaves an
// empty log (the start-up open made it; the report never came) and the pieces staged; a
// power cut drops them. The run after a kill takes the image again from the start on a
// drive that overwrites staged pieces, and fails on one that refuses overlaps until a
// restart drops them.
TEST_P(InterruptedRun, TheNextRunAndTheRestartAfterIt) {
    const Interruption& c = GetParam();
    const bool kill = std::string(c.interrupt) == "kill";
    const std::string plain = write("plain.json", machineOfKind(c, false));
    const std::string log = file("run.log");
    const SimRun fresh = sim("--machine " + plain + " -- /s");

    const std::string faulted = write("faulted.json", machineOfKind(c, true));
    const std::string left = file("left.json"), state = file("state.json");
    SimRun cut = sim("--machine " + faulted + " --write-machine " + left + " --state " + state +
                     " -- /s /log=" + log);
    EXPECT_EQ(cut.signal, kSigKill) << cut.err;
    EXPECT_EQ(slurp(log), "");
    EXPECT_EQ(cut.out.find(">> QIR Ended"), std::string::npos);
    EXPECT_TRUE(json::parse(slurp(state))["result_code"].is_null());
    const json leftMachine = json::parse(slurp(left));
    EXPECT_FALSE(leftMachine.contains("faults") && !leftMachine["faults"].empty())
        << "the interrupt belongs to the run it ended";
    bool staged = false;
    for (const json& drive : leftMachine["drives"])
        staged = staged || drive.contains("staged");
    EXPECT_EQ(staged, kill);

    // Drives the run had finished before it ended may be active (a power cut) or still
    // wait; either way the outcome is the one of an uninterrupted run.
    const char* failed = "Unable to update firmware.";
    SimRun next = sim("--machine " + left + " -- /s /log=" + log);
    if (!kill || !c.detectOverlap) {
        EXPECT_EQ(next.exitCode, fresh.exitCode) << next.out;
        EXPECT_EQ(slurp(log).find(failed), std::string::npos) << slurp(log);
        return;
    }
    EXPECT_EQ(next.exitCode, 1) << next.out;
    EXPECT_NE(slurp(log).find(failed), std::string::npos);
    EXPECT_EQ(sim("--machine " + left + " --scan").exitCode, 1)
        << "no read-only request shows staged pieces";
    SimRun afterRestart = sim("--machine " + left + " --event reboot -- /s /log=" + log);
    EXPECT_EQ(afterRestart.exitCode, fresh.exitCode) << afterRestart.out;
    EXPECT_EQ(slurp(log).find(failed), std::string::npos) << slurp(log);
}

std::vector<Interruption> interruptions() {
    const struct {
        const char* stack;
        const char* machine;
        const char* download;
    } stacks[] = {{"Inbox", "default", "inbox.download"},
                  {"Irst", "default", "rst.download"},
                  {"Vroc", "vroc_non_raid", "vroc.download"}};
    std::vector<Interruption> cases;
    for (const auto& s : stacks)
        for (bool overlap : {false, true})
            for (const char* interrupt : {"kill", "power_cut"})
                cases.push_back({std::string(s.stack) + (overlap ? "DetectOverlap" : "Overwrite") +
                                     (std::string(interrupt) == "kill" ? "Killed" : "PowerCut"),
                                 s.machine, s.download, overlap, interrupt});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Stacks, InterruptedRun, ::testing::ValuesIn(interruptions()),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace qir::testing
