// The recorder, the capture file and the replay: recording changes nothing the tool or
// the machine sees, a capture reads back to the same bytes, and a replay passes for the
// same questions and names the first one that differs.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/main_routine.h"
#include "capture/capture_file.h"
#include "capture/hex_text.h"
#include "capture/recording_platform.h"
#include "capture/replay_platform.h"
#include "tests/support/capture_support.h"
#include "tests/support/console_capture.h"
#include "tests/support/sim_fixture.h"

namespace {

using namespace qir;
using qir::testing::exampleMachine;
using qir::testing::kTestHeader;
using qir::testing::recordRun;

class ExampleMachine : public ::testing::TestWithParam<const char*> {};

TEST_P(ExampleMachine, RecordingTheWholeRunChangesNothingTheToolOrTheMachineSees) {
    auto run = [&](bool recorded, std::string* out) {
        qir::testing::SimulatedMachine machine(exampleMachine(GetParam()));
        EXPECT_TRUE(machine.loaded()) << machine.error();
        qir::testing::ConsoleCapture console;
        capture::RecordingPlatform recorder(*machine);
        if (recorded)
            platform::setPlatform(&recorder);
        const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
        int result = mainRoutine(2, argv);
        platform::setPlatform(machine.get());
        machine->resultCode = result;
        *out = console.take();
        std::string trace;
        for (const std::string& line : machine->trace())
            trace += line + "\n";
        EXPECT_EQ(recorded, !recorder.calls().empty());
        return machine->stateJson() + trace;
    };
    std::string plainOut, recordedOut;
    EXPECT_EQ(run(false, &plainOut), run(true, &recordedOut));
    EXPECT_EQ(plainOut, recordedOut);
}

TEST_P(ExampleMachine, ACaptureReadsBackToTheSameBytesAndReplaysToTheEnd) {
    QIR_LOAD_MACHINE(machine, exampleMachine(GetParam()));
    capture::CallList calls = recordRun(*machine);
    ASSERT_FALSE(calls.empty());
    std::string text = capture::captureText(kTestHeader, calls);
    std::string error;
    std::optional<capture::CallList> read = capture::readCapture(text, &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(capture::captureText(kTestHeader, *read), text);

    capture::ReplayPlatform replay(*read);
    qir::testing::runTool(replay, *machine);
    EXPECT_EQ(replay.difference(), "");
    EXPECT_EQ(replay.callsAnswered(), calls.size());
}

INSTANTIATE_TEST_SUITE_P(Capture, ExampleMachine,
                         ::testing::Values("default", "vroc_raid", "vroc_non_raid", "empty"));

TEST(CaptureReplay, NamesTheFirstCallThatDiffersFromTheRecord) {
    QIR_LOAD_MACHINE(machine, exampleMachine("default"));
    capture::CallList calls = recordRun(*machine);
    size_t changed = 0;
    while (calls[changed].op != capture::Op::CreateFile)
        ++changed;
    capture::CallList altered = calls;
    altered[changed].text = u"\\\\.\\PHYSICALDRIVE42";
    capture::ReplayPlatform replay(altered);
    qir::testing::runTool(replay, *machine);
    std::string expected = "calls[" + std::to_string(changed) + "]: recorded ";
    EXPECT_EQ(replay.difference().rfind(expected, 0), 0u) << replay.difference();
    EXPECT_NE(replay.difference().find("PHYSICALDRIVE42"), std::string::npos);

    capture::CallList longer = calls;
    longer.push_back(calls.back());
    capture::ReplayPlatform unfinished(longer);
    qir::testing::runTool(unfinished, *machine);
    EXPECT_EQ(unfinished.difference().rfind(
                  "calls[" + std::to_string(calls.size()) + "]: the tool ended without asking", 0),
              0u)
        << unfinished.difference();

    capture::CallList shorter(calls.begin(), calls.end() - 1);
    capture::ReplayPlatform cut(shorter);
    qir::testing::runTool(cut, *machine);
    EXPECT_NE(cut.difference().find("the capture ends"), std::string::npos) << cut.difference();
}

// One input byte of a control request changed in the record: the replay names that call,
// for the tool would have asked the machine something else there.
TEST(CaptureReplay, NamesAControlCallWhoseInputDiffersInOneByte) {
    QIR_LOAD_MACHINE(machine, exampleMachine("default"));
    const capture::CallList calls = recordRun(*machine);
    size_t changed = 0;
    while (changed < calls.size() &&
           (calls[changed].op != capture::Op::DeviceIoControl || calls[changed].in.size() < 32))
        ++changed;
    ASSERT_LT(changed, calls.size());
    capture::CallList altered = calls;
    altered[changed].in[31] ^= 0x01;
    capture::ReplayPlatform replay(altered);
    qir::testing::runTool(replay, *machine);
    EXPECT_EQ(replay.difference().rfind("calls[" + std::to_string(changed) + "]: recorded ", 0), 0u)
        << replay.difference();
}

TEST(CaptureFile, RefusesWhatItCannotUseAndNamesTheEntry) {
    const std::string head = R"({"format": "qir-capture", "schema": 1, "header": {}, "calls": [)";
    auto ioctlWithIn = [&](const std::string& in) {
        return head +
               R"({"op": "device_io_control", "handle": 4, "code": "0x4D008", "in_size": 1,)" +
               R"( "in": ")" + in + R"(", "out_size": 0, "ok": true, "returned": 0, "out": ""}]})";
    };
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"{", "capture is not valid JSON"},
        {R"({"format": "other", "schema": 1, "header": {}, "calls": []})", "format: not a capture"},
        {R"({"format": "qir-capture", "schema": 4, "header": {}, "calls": []})",
         "schema: this reader knows schemas 1 to 3 only"},
        {R"({"format": "qir-capture", "schema": 1, "header": {}, "calls": [], "x": 1})",
         "capture: unknown key \"x\""},
        {head + R"({"op": "reboot"}]})", "calls[0].op: unknown call \"reboot\""},
        {head + R"({"op": "get_last_error", "error": 0}, {"op": "close_handle", "handle": 4}]})",
         "calls[1]: needs \"ok\""},
        {head + R"({"op": "close_handle", "handle": 4, "ok": true, "extra": 1}]})",
         "calls[0]: unknown key \"extra\""},
        {head + R"({"op": "device_io_control", "handle": 4, "code": "0x4D008", "in_size": 1,)" +
             R"( "in": "0g", "out_size": 0, "ok": true, "returned": 0, "out": ""}]})",
         "calls[0].in: not a hexadecimal byte string"},
        {ioctlWithIn("00*"), "calls[0].in: not a hexadecimal byte string"},
        {ioctlWithIn("0000*4"), "calls[0].in: not a hexadecimal byte string"},
        {ioctlWithIn("00 *4"), "calls[0].in: not a hexadecimal byte string"},
        {ioctlWithIn("00*4 "), "calls[0].in: not a hexadecimal byte string"},
        {ioctlWithIn("00*0"), "calls[0].in: not a hexadecimal byte string"},
        {ioctlWithIn("0A"), "calls[0].in: not a hexadecimal byte string"},
        {ioctlWithIn("000"), "calls[0].in: odd number of hexadecimal digits"},
        {ioctlWithIn("00*268435457"), "calls[0].in: more bytes than any call holds"},
        {head + R"({"op": "get_device_property", "set": 1, "dev_inst": 1, "key": "{x} 8",)" +
             R"( "size": 0, "buffer": false, "ok": false, "error": 122}]})",
         "calls[0].key: expected \"{GUID} pid\""},
        {head + R"({"op": "enum_device_info", "set": 1, "index": -1, "ok": false, "error": 1}]})",
         "calls[0].index: -1 is out of range"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(capture::readCapture(c.text, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// Long runs of one byte are written short and read back to the same bytes; short runs and
// the plain form of schema 1 read as they always did.
TEST(CaptureFile, BytesReadBackFromTheirShortForm) {
    const std::vector<uint8_t> blocks[] = {
        {},
        {0x31, 0, 0, 0},
        std::vector<uint8_t>(4096, 0),
        {1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 3},
    };
    for (const std::vector<uint8_t>& bytes : blocks) {
        std::string text = capture::compactHexOf(bytes);
        std::vector<uint8_t> back;
        std::string why;
        EXPECT_TRUE(capture::readHexText(text, 1 << 20, &back, &why)) << text << ": " << why;
        EXPECT_EQ(back, bytes) << text;
        EXPECT_TRUE(capture::readHexText(capture::hexOf(bytes), 1 << 20, &back, &why));
        EXPECT_EQ(back, bytes);
    }
    EXPECT_EQ(capture::compactHexOf(blocks[3]), "0102 00*8 ff*9 03");
    EXPECT_EQ(capture::compactHexOf(std::vector<uint8_t>(7, 0)), "00000000000000");
}

} // namespace
