#include "tests/support/app_test_support.h"

#include <vector>

#include "app/main_routine.h"
#include "app/process_state.h"
#include "firmware/firmware_image.h"

namespace qir {
namespace {

using qir::testing::kUsage;
using qir::testing::oneInboxDisk;
using qir::testing::readFileBytes;
using qir::testing::wide;

class MainRoutineTest : public qir::testing::ShellTest {
  protected:
    int32_t run(std::vector<std::u16string> args, const DiskUpdaterOps* ops = nullptr) {
        return runMain(std::move(args), ops);
    }
    std::string banner() {
        std::string rule(96, '=');
        return rule + "\nQIR_TX7Q3_V1.0.0_" + text::toUtf8(imageRevision) +
               "\nFirmware update for KORVANE NVMe SSDs. Do not power off during the update.\n" +
               rule + "\n";
    }
};

TEST_F(MainRoutineTest, EmptyMachineRunsThroughToResultOne) {
    EXPECT_EQ(run({}), 1);
    EXPECT_EQ(toolVersionName.size(), 25u);
    EXPECT_EQ(console.text.rfind(banner(), 0), 0u);
    EXPECT_NE(console.text.find("\n >> QIR Started \n\n"), std::string::npos);
    EXPECT_NE(console.text.find("\n >> QIR Ended (Return Code : 1)\n\n"), std::string::npos);
    ASSERT_TRUE(machine.messageBoxShown.has_value());
    EXPECT_EQ(machine.messageBoxShown->caption, u"KORVANE " + toolVersionName);
    EXPECT_EQ(machine.openHandles, 0);
    EXPECT_EQ(machine.openDeviceInfoSets, 0);
}

TEST_F(MainRoutineTest, InvalidArgumentStopsAfterBannerAndUsage) {
    std::filesystem::path out = dir / "out.txt";
    EXPECT_EQ(run({u"/log=" + wide(out), u"/x"}), 1);
    EXPECT_EQ(console.text, banner() + kUsage);
    EXPECT_FALSE(machine.messageBoxShown.has_value());
    EXPECT_EQ(readFileBytes(out), "");
}

TEST_F(MainRoutineTest, ResultCodeOfTheRouteBecomesTheExitCode) {
    struct Case {
        uint32_t code;
        int32_t exit;
    };
    for (Case c : std::vector<Case>{{0, 0}, {1602, 1602}, {5, 1}}) {
        SCOPED_TRACE(c.code);
        console.text.clear();
        DiskUpdaterOps ops = oneInboxDisk(c.code);
        std::filesystem::path log = dir / "fw.txt";
        EXPECT_EQ(run({u"/s", u"/log=" + wide(log)}, &ops), c.exit);
        EXPECT_FALSE(machine.messageBoxShown.has_value());
        std::string file = readFileBytes(log);
        EXPECT_EQ(file.rfind("Start Time : 07-12-2026(02:40:52)\r\nEnd Time : "
                             "07-12-2026(02:40:52)\r\nInput Command : qir.exe /s /log=" +
                                 log.string() + " \r\n\r\n[Disk #1]\r\n",
                             0),
                  0u);
        EXPECT_NE(
            console.text.find(" >> QIR Ended (Return Code : " + std::to_string(c.exit) + ")\n"),
            std::string::npos);
    }
}

TEST_F(MainRoutineTest, FatalStartupLinesDoNotStopTheRun) {
    machine.frameworkStartupFails = true;
    EXPECT_EQ(run({u"/s"}), 1);
    EXPECT_EQ(console.text.rfind("Fatal Error: MFC initialization failed\n" + banner(), 0), 0u);

    console.text.clear();
    machine.moduleHandleFails = true;
    EXPECT_EQ(run({u"/s"}), 1);
    // Without a module handle the framework is not started at all, so only one line.
    EXPECT_EQ(console.text.rfind("Fatal Error: GetModuleHandle failed\n" + banner(), 0), 0u);
    EXPECT_NE(console.text.find(" >> QIR Ended (Return Code : 1)"), std::string::npos);
}

TEST_F(MainRoutineTest, SecondRunInOneProcessStartsAfresh) {
    EXPECT_EQ(run({u"/s"}), 1);
    std::string first = console.text;
    console.text.clear();
    EXPECT_EQ(run({u"/s"}), 1);
    EXPECT_EQ(console.text, first);

    // Silence of an earlier run does not carry over into one without "/s".
    EXPECT_EQ(run({}), 1);
    EXPECT_TRUE(machine.messageBoxShown.has_value());
    EXPECT_EQ(toolVersionName.size(), 25u);
}

TEST_F(MainRoutineTest, OnlyTheLastLogPathReceivesTheReport) {
    std::filesystem::path a = dir / "a.txt", b = dir / "b.txt";
    DiskUpdaterOps ops = oneInboxDisk(0);
    EXPECT_EQ(run({u"/log=" + wide(a), u"/log=" + wide(b), u"/s"}, &ops), 0);
    EXPECT_EQ(readFileBytes(a), "");
    EXPECT_NE(readFileBytes(b).find("[Final Result]\r\nReturn Code : 0\r\n"), std::string::npos);
}

TEST_F(MainRoutineTest, StreamLeftInHexByEarlierOutputIsResetAtStart) {
    wideOut() << hex;
    narrowOut() << hex;
    DiskUpdaterOps ops = oneInboxDisk(1602);
    EXPECT_EQ(run({u"/s"}, &ops), 1602);
    EXPECT_NE(console.text.find(" >> QIR Ended (Return Code : 1602)\n"), std::string::npos);
}

} // namespace
} // namespace qir
