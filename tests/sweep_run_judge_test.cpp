#include "tests/support/scratch_folder.h"
#include "tests/support/sim_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>

using namespace std::string_literals;

#include "app/main_routine.h"
#include "sweep/run_judge.h"

namespace {

using namespace qir::testing;
using qir::sweep::RunOutcome;

const std::string kSlots = R"(, "fwug": 8, "slots": {"count": 2, "slot1_read_only": true})";

class SweepJudgeTest : public SimFixture {
  protected:
    void loadMachine(const std::string& faults = "") {
        load(machineOf(inboxDisk(1, "a") + "," + inboxDisk(2, "old"),
                       makerDrive("a", kSlots) + "," +
                           makerDrive("old", R"(, "firmware": "VDL1A1QA")"),
                       faults));
        before = qir::sweep::drivesBefore(*machine);
    }
    RunOutcome runTool() {
        const std::string path = scratch.file("run.log");
        std::remove(path.c_str());
        const std::u16string logArg = u"/log=" + std::u16string(path.begin(), path.end());
        const char16_t* argv[] = {u"qir.exe", u"/s", logArg.c_str()};
        RunOutcome o;
        o.exitCode = qir::mainRoutine(3, argv);
        std::ifstream in(path, std::ios::binary);
        o.logText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        o.consoleTail = console.text;
        std::remove(path.c_str());
        return o;
    }
    std::vector<std::string> judge(const RunOutcome& o) {
        return qir::sweep::judgeRun(o, *machine, before, image);
    }
    qir::testing::ScratchFolder scratch{"qir_sweep_judge"};
    std::vector<qir::sweep::DriveBefore> before;
    const std::string image = qir::sim::imageDigest(qir::firmwareImage(), qir::kFirmwareImageSize);
};

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v)
        s += x + "\n";
    return s;
}

TEST_F(SweepJudgeTest, AnUndisturbedRunHoldsUp) {
    loadMachine();
    RunOutcome o = runTool();
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(joined(judge(o)), "");
    qir::sweep::ParsedReport r = qir::sweep::parseRunReport(o.logText);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.disks.size(), 1u);
    EXPECT_EQ(r.disks[0].serial, "SNa");
    EXPECT_EQ(r.disks[0].returnCode, "0");
}

TEST_F(SweepJudgeTest, AFailureTheToolReportsIsNoFinding) {
    loadMachine(R"({"kind": "inbox.download", "occurrence": 2, "error": 31})");
    RunOutcome o = runTool();
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(joined(judge(o)), "");
}

// A driver that answers success for a commit that never reached the drive: the tool
// cannot know, but the judge must see that the drive does not hold the image.
TEST_F(SweepJudgeTest, ASuccessTheDriveDoesNotBackIsAFinding) {
    loadMachine(R"({"kind": "inbox.activate", "return_code": 0})");
    RunOutcome o = runTool();
    ASSERT_NE(o.exitCode, 1);
    EXPECT_NE(joined(judge(o)).find("drive a does not hold the image"), std::string::npos)
        << joined(judge(o));
}

TEST_F(SweepJudgeTest, HandlesLeftOpenAndFirmwareSentToANonTarget) {
    loadMachine();
    RunOutcome o = runTool();
    machine->openHandles = 1;
    machine->openDeviceInfoSets = 2;
    std::vector<uint8_t> piece(4096, 0);
    machine->drive("old")->download(0, piece.data(), piece.size());
    std::string found = joined(judge(o));
    EXPECT_NE(found.find("1 handle(s) left open"), std::string::npos) << found;
    EXPECT_NE(found.find("2 device information set(s) left open"), std::string::npos) << found;
    EXPECT_NE(found.find("drive old is no target"), std::string::npos) << found;
    machine->openHandles = 0;
    machine->openDeviceInfoSets = 0;
}

std::string head() {
    return "Start Time : 07-12-2026(02:40:52)\r\nEnd Time : 07-12-2026(02:40:52)\r\n"
           "Input Command : qir.exe /s \r\n";
}

std::string disk(int n, const std::string& serial, const std::string& code,
                 const std::string& details) {
    return "\r\n[Disk #" + std::to_string(n) +
           "]\r\nModel Number : KORVANE\r\nSerial Number : " + serial +
           "\r\nCurrent Firmware Version : VDL7W2QA\r\nUpdated Firmware Version : VDL9K2QC\r\n"
           "Return Code : " +
           code + "\r\nResult Details : " + details + "\r\n";
}

std::string final(const std::string& code, const std::string& details) {
    return "\r\n[Final Result]\r\nReturn Code : " + code + "\r\nResult Details : " + details +
           "\r\n";
}

const std::string kOk = "Updated firmware successfully.";
const std::string kBoot =
    "Downloaded firmware successfully, but firmware activation requires reboot.";
const std::string kFail = "Unable to update firmware.";
const std::string kNoDisk = "[No Disk]\r\nUpdated Firmware Version : VDL9K2QC\r\nReturn Code : "
                            "1\r\nResult Details : No disks are available for download.\r\n";

std::string closing(int code) {
    return "\n >> QIR Ended (Return Code : " + std::to_string(code) + ")\n\n";
}

// Reports written by hand against a machine whose drives hold nothing.
TEST_F(SweepJudgeTest, ReportsAgainstWhatTheDrivesHold) {
    loadMachine();
    struct Case {
        const char* name;
        int exit;
        std::string log;
        std::string console;
        const char* finding; // "" for none
    };
    const std::string blank20 = "SNa                 ";
    const std::vector<Case> cases = {
        {"failure", 1, head() + disk(1, blank20, "5", kFail) + final("1", kFail), closing(1), ""},
        {"no disk", 1, head() + kNoDisk + final("1", kFail), closing(1), ""},
        {"updated without image", 0, head() + disk(1, blank20, "0", kOk) + final("0", kOk),
         closing(0), "drive a does not hold the image"},
        {"reboot without image", 1602,
         head() + disk(1, "SNa\0"s, "1602", kBoot) + final("1602", kBoot), closing(1602),
         "drive a does not hold the image"},
        {"unknown serial", 0, head() + disk(1, "SNz", "0", kOk) + final("0", kOk), closing(0),
         "no drive has that serial"},
        {"final hides a failure", 0, head() + disk(1, "SNa", "5", kFail) + final("0", kOk),
         closing(0), "where the disks give 1"},
        {"exit differs from the log", 0, head() + disk(1, "SNa", "5", kFail) + final("1", kFail),
         closing(0), "but exit code 0"},
        {"text differs from code", 1, head() + disk(1, "SNa", "7", kOk) + final("1", kFail),
         closing(1), "code 7 with the text"},
        {"final text differs", 1, head() + disk(1, "SNa", "7", kFail) + final("1", kOk), closing(1),
         "final code 1 with the text"},
        {"1602 does not hide 1", 1602,
         head() + disk(1, "SNa", "1", kFail) + disk(2, "SNb", "1602", kBoot) + final("1602", kBoot),
         closing(1602), "where the disks give 1"},
        {"no closing line", 1, head() + disk(1, "SNa", "5", kFail) + final("1", kFail), "",
         "closing console line"},
        {"closing line differs", 1, head() + disk(1, "SNa", "5", kFail) + final("1", kFail),
         closing(0), "closing console line"},
        {"odd exit code", 2, head() + kNoDisk + final("1", kFail), closing(2), "exit code 2"},
        {"no log", 1, "", closing(1), "log file: no report head"},
        {"log cut short", 1, head() + disk(1, "SNa", "5", kFail), closing(1), "log file:"},
        {"no disk and no block", 1, head() + final("1", kFail), closing(1), "no disk block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunOutcome o{c.exit, c.log, c.console};
        std::string found = joined(judge(o));
        if (*c.finding == '\0')
            EXPECT_EQ(found, "");
        else
            EXPECT_NE(found.find(c.finding), std::string::npos) << found;
    }
}

TEST(SweepRunReport, LineEndsOfBothKindsAndTrailingTextRefused) {
    const std::string lf = "Start Time : x\nEnd Time : y\nInput Command : z \n\n[Disk #1]\n"
                           "Model Number : m\nSerial Number : s  \nCurrent Firmware Version : "
                           "a\nUpdated Firmware Version : b\nReturn Code : 0\nResult Details : "
                           "Updated firmware successfully.\n\n[Final Result]\nReturn Code : "
                           "0\nResult Details : Updated firmware successfully.\n";
    qir::sweep::ParsedReport r = qir::sweep::parseRunReport(lf);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.disks.at(0).serial, "s");
    EXPECT_EQ(r.finalReturnCode, "0");
    EXPECT_FALSE(qir::sweep::parseRunReport(lf + "Return Code : 1\n").ok);
}

} // namespace
