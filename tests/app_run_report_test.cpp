#include "tests/support/app_test_support.h"

#include <vector>

#include "app/log_file.h"
#include "app/process_state.h"
#include "app/run_options.h"
#include "app/run_report.h"
#include "app/timestamp.h"
#include "app/tool_identity.h"
#include "firmware/firmware_image.h"

namespace qir {
namespace {

using qir::testing::readFileBytes;
using qir::testing::wide;

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

class RunReportTest : public qir::testing::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        silentMode = false;
        initToolIdentity();
        revision = text::toUtf8(imageRevision);
        options.startTime = u"07-12-2026(02:40:00)";
        options.inputCommand = u"qir.exe /log=x ";
        options.logPath = wide(dir / "report.txt");
    }

    void addTarget(uint32_t result, const std::u16string& serial = u"SER1") {
        TargetDisk disk;
        disk.driverKind = InboxNvme;
        disk.modelNumber = u"KORVANE TX7Q3 1TB";
        disk.serialNumber = serial;
        disk.firmwareRevision = u"VDL7W2QA";
        disk.updateResult = result;
        options.targets.push_back(disk);
    }

    std::string logFile() { return readFileBytes(dir / "report.txt"); }
    std::string header() {
        return "Start Time : 07-12-2026(02:40:00)\nEnd Time : 07-12-2026(02:40:52)\n"
               "Input Command : qir.exe /log=x \n";
    }
    std::string diskBlock(int n, uint32_t code, const std::string& details) {
        return "\n[Disk #" + std::to_string(n) +
               "]\nModel Number : KORVANE TX7Q3 1TB\nSerial Number : SER1\n"
               "Current Firmware Version : VDL7W2QA\nUpdated Firmware Version : " +
               revision + "\nReturn Code : " + std::to_string(code) +
               "\nResult Details : " + details;
    }

    RunOptions options;
    std::string revision;
};

const std::string kOk = "Updated firmware successfully.\n";
const std::string kReboot =
    "Downloaded firmware successfully, but firmware activation requires reboot.\n";
const std::string kFail = "Unable to update firmware.\n";

TEST_F(RunReportTest, NoTargetsGivesNoDiskBlocksAndOne) {
    EXPECT_EQ(writeRunReport(options), 1);
    EXPECT_EQ(logFile(),
              crlf(header() + "[No Disk]\nUpdated Firmware Version : " + revision +
                   "\nReturn Code : 1\nResult Details : No disks are available for download.\n"
                   "\n[Final Result]\nReturn Code : 1\nResult Details : " +
                   kFail));
    ASSERT_TRUE(machine.messageBoxShown.has_value());
    EXPECT_EQ(text::toUtf8(machine.messageBoxShown->text),
              "Updated Firmware Version : " + revision +
                  "\n[No Disk]\nNo disks are available for download.\n\n[Final Result]\n" + kFail);
    EXPECT_EQ(machine.messageBoxShown->caption, u"KORVANE QIR_TX7Q3_V1.0.0_" + imageRevision);
    EXPECT_EQ(machine.messageBoxShown->type, 0u);
    EXPECT_EQ(console.text, "\n >> QIR Ended (Return Code : 1)\n\n");
}

// Another update held the lock: a block of the no-disk block's shape that says so, the
// same final block, and the caller told once the log is written, before the box.
TEST_F(RunReportTest, AnotherUpdateRunningGivesItsOwnBlockAndOne) {
    options.otherUpdateRunning = true;
    int written = 0;
    EXPECT_EQ(writeRunReport(options,
                             [&] {
                                 ++written;
                                 EXPECT_NE(logFile(), "");
                                 EXPECT_FALSE(machine.messageBoxShown.has_value());
                             }),
              1);
    EXPECT_EQ(written, 1);
    const std::string why =
        "Another firmware update was running on this machine; no disk was touched.\n";
    EXPECT_EQ(logFile(), crlf(header() + "[Update Running]\nUpdated Firmware Version : " +
                              revision + "\nReturn Code : 1\nResult Details : " + why +
                              "\n[Final Result]\nReturn Code : 1\nResult Details : " + kFail));
    ASSERT_TRUE(machine.messageBoxShown.has_value());
    EXPECT_EQ(text::toUtf8(machine.messageBoxShown->text),
              "Updated Firmware Version : " + revision + "\n[Update Running]\n" + why +
                  "\n[Final Result]\n" + kFail);
    EXPECT_EQ(console.text, "\n >> QIR Ended (Return Code : 1)\n\n");
}

TEST_F(RunReportTest, SingleTargetTextsByResult) {
    struct Case {
        uint32_t code;
        int32_t result;
        std::string logDetails;
        std::string summaryDetails;
        std::string finalLog;
        std::string finalSummary;
    };
    const std::string rebootSummary =
        "Downloaded firmware successfully, \nbut firmware activation requires reboot.\n";
    std::vector<Case> cases = {
        {0, 0, kOk, kOk, "Result Details : " + kOk, kOk},
        {1602, 1602, kReboot, rebootSummary, "Result Details : " + kReboot,
         "Result Details : " + rebootSummary},
        {5, 1, kFail, kFail, "Result Details : " + kFail, kFail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        options.targets.clear();
        options.resultCode = 0;
        console.text.clear();
        addTarget(c.code);
        EXPECT_EQ(writeRunReport(options), c.result);
        EXPECT_EQ(logFile(), crlf(header() + diskBlock(1, c.code, c.logDetails) +
                                  "\n[Final Result]\nReturn Code : " + std::to_string(c.result) +
                                  "\n" + c.finalLog));
        ASSERT_TRUE(machine.messageBoxShown.has_value());
        EXPECT_EQ(text::toUtf8(machine.messageBoxShown->text),
                  "Updated Firmware Version : " + revision +
                      "\n\n[Disk #1]\nSerial Number : SER1\n" + c.summaryDetails +
                      "\n[Final Result]\n" + c.finalSummary);
        EXPECT_EQ(console.text,
                  "\n >> QIR Ended (Return Code : " + std::to_string(c.result) + ")\n\n");
    }
}

TEST_F(RunReportTest, RunResultOverSeveralTargets) {
    struct Case {
        std::vector<uint32_t> codes;
        int32_t result;
    };
    std::vector<Case> cases = {
        {{0, 0}, 0},    {{0, 1602}, 1602},    {{1602, 5, 0}, 1},
        {{1, 1602}, 1}, {{1602, 1602}, 1602}, {{0xFFFFFFFFu}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.codes));
        options.targets.clear();
        options.resultCode = 0;
        for (uint32_t code : c.codes)
            addTarget(code);
        EXPECT_EQ(writeRunReport(options), c.result);
        EXPECT_EQ(options.resultCode, c.result);
    }
}

TEST_F(RunReportTest, ThreeTargetLogNumbersBlocksAndKeepsEachCode) {
    addTarget(1602);
    addTarget(5);
    addTarget(0);
    EXPECT_EQ(writeRunReport(options), 1);
    EXPECT_EQ(logFile(), crlf(header() + diskBlock(1, 1602, kReboot) + diskBlock(2, 5, kFail) +
                              diskBlock(3, 0, kOk) +
                              "\n[Final Result]\nReturn Code : 1\nResult Details : " + kFail));
}

TEST_F(RunReportTest, SerialWithNulIsCutInSummaryButWhollyLogged) {
    addTarget(0, std::u16string(u"AB\0CD", 5));
    writeRunReport(options);
    std::string log = logFile();
    EXPECT_NE(log.find(std::string("Serial Number : AB\0CD\r\n", 23)), std::string::npos);
    ASSERT_TRUE(machine.messageBoxShown.has_value());
    EXPECT_NE(machine.messageBoxShown->text.find(u"Serial Number : AB\n"), std::u16string::npos);
    EXPECT_EQ(machine.messageBoxShown->text.find(u'\0'), std::u16string::npos);
}

TEST_F(RunReportTest, SilentRunShowsNoBoxAndWritesTheSameLog) {
    addTarget(0);
    writeRunReport(options);
    std::string loud = logFile();
    std::string loudConsole = console.text;
    machine.messageBoxShown.reset();
    console.text.clear();
    options.resultCode = 0;
    silentMode = true;
    writeRunReport(options);
    EXPECT_FALSE(machine.messageBoxShown.has_value());
    EXPECT_EQ(logFile(), loud);
    EXPECT_EQ(console.text, loudConsole);
}

TEST_F(RunReportTest, NoLogPathWritesNoFileAndAFailedWriteKeepsTheResult) {
    options.logPath.clear();
    addTarget(1602);
    EXPECT_EQ(writeRunReport(options), 1602);
    EXPECT_TRUE(std::filesystem::is_empty(dir));

    options.resultCode = 0;
    options.logPath = wide(dir / "gone" / "x.txt");
    EXPECT_EQ(writeRunReport(options), 1602);
}

TEST_F(RunReportTest, TimestampFormat) {
    struct Case {
        platform::LocalTime time;
        const char* text;
    };
    std::vector<Case> cases = {
        {{2027, 3, 1, 9, 5, 3}, "01-03-2027(09:05:03)"},
        {{2026, 12, 31, 23, 59, 59}, "31-12-2026(23:59:59)"},
        {{999, 1, 1, 0, 0, 0}, "01-01-0999(00:00:00)"},
    };
    for (const Case& c : cases) {
        machine.clock = c.time;
        EXPECT_EQ(makeTimestamp(), c.text);
    }
}

TEST_F(RunReportTest, LogBytesUseLowEightBitsAndCrLf) {
    EXPECT_EQ(narrowLowBytes(std::u16string(u"A\u0142\0z", 4)), std::string("AB\0z", 4));
    std::filesystem::path path = dir / "bytes.txt";
    writeLogFile(wide(path), std::string("a\nb\n\nc", 6));
    EXPECT_EQ(readFileBytes(path), "a\r\nb\r\n\r\nc");
    // A second write replaces the first; nothing is appended across runs.
    writeLogFile(wide(path), "z\n");
    EXPECT_EQ(readFileBytes(path), "z\r\n");
}

} // namespace
} // namespace qir
