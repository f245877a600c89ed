// A machine rebuilt from a capture: the tool's whole update run on it prints, logs and
// asks what it does on the machine that was recorded; each form of the description a
// capture grows it by answers as recorded; and a capture that cannot be rebuilt is
// refused with the entry named.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/main_routine.h"
#include "capture/capture_file.h"
#include "capture/replay_platform.h"
#include "capture_support.h"
#include "platform/text_encoding.h"
#include "scratch_folder.h"
#include "sim/capture_rebuild.h"
#include "sim_fixture.h"

namespace {

using namespace qir;
using qir::testing::recordRun;

std::string machineText(const std::string& name) {
    std::ifstream in(std::string(QIR_SOURCE_DIR) + "/sim/machines/" + name + ".json");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    int result = 0;
    std::string out;
    std::string log;
    std::string trace;
};

// The tool's update run, `/s /log=`, on a freshly loaded machine.
Outcome updateRun(const std::string& description) {
    Outcome o;
    qir::testing::SimulatedMachine machine(description);
    EXPECT_TRUE(machine.loaded()) << machine.error();
    if (!machine)
        return o;
    qir::testing::ScratchFolder folder("qir_capture_rebuild");
    std::u16string log = qir::text::fromUtf8(folder.file("r.log"));
    std::u16string logArg = u"/log=" + log;
    const char16_t* argv[] = {u"qir.exe", u"/s", logArg.c_str(), nullptr};
    qir::testing::ConsoleCapture console;
    o.result = mainRoutine(3, argv);
    o.out = console.take();
    // The scratch folder's name is in the report's command line; the rest is the run's.
    std::ifstream in(folder.file("r.log"), std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Input Command :", 0) != 0)
            o.log += line + "\n";
    for (const std::string& line : machine->trace())
        o.trace += line + "\n";
    return o;
}

std::string rebuilt(const std::string& description, std::string* error) {
    qir::testing::SimulatedMachine machine(description);
    EXPECT_TRUE(machine.loaded()) << machine.error();
    std::string text = capture::captureText(qir::testing::kTestHeader, recordRun(*machine));
    std::optional<capture::CallList> calls = capture::readCapture(text, error);
    return calls ? sim::machineFromCapture(*calls, error) : std::string();
}

// No answer of a look at a machine tells that a drive activates its firmware only after a
// power cycle: the rebuilt drive takes the model's reset, and is held to that.
std::string activatingAtReset(std::string description) {
    const std::string powerCycle = "\"power_cycle\"";
    for (size_t at; (at = description.find(powerCycle)) != std::string::npos;)
        description.replace(at, powerCycle.size(), "\"reset\"");
    return description;
}

void expectSameUpdateRun(const std::string& description) {
    std::string error;
    std::string machine = rebuilt(description, &error);
    ASSERT_FALSE(machine.empty()) << error;
    Outcome original = updateRun(activatingAtReset(description));
    Outcome again = updateRun(machine);
    EXPECT_EQ(again.result, original.result);
    EXPECT_EQ(again.out, original.out);
    EXPECT_EQ(again.log, original.log);
    EXPECT_EQ(again.trace, original.trace);
}

class RebuiltExampleMachine : public ::testing::TestWithParam<const char*> {};

TEST_P(RebuiltExampleMachine, RunsTheUpdateAsTheRecordedMachineDoes) {
    expectSameUpdateRun(machineText(GetParam()));
}

TEST_P(RebuiltExampleMachine, IsRecordedAsTheOriginalWas) {
    std::string error;
    std::string machine = rebuilt(machineText(GetParam()), &error);
    ASSERT_FALSE(machine.empty()) << error;
    qir::testing::SimulatedMachine original(machineText(GetParam()));
    capture::CallList first = recordRun(*original);
    qir::testing::SimulatedMachine again(machine);
    ASSERT_TRUE(again.loaded()) << again.error();
    capture::ReplayPlatform replay(first);
    qir::testing::runTool(replay, *again);
    EXPECT_EQ(replay.difference(), "");
}

INSTANTIATE_TEST_SUITE_P(Capture, RebuiltExampleMachine,
                         ::testing::Values("default", "vroc_raid", "vroc_non_raid", "empty"));

} // namespace
