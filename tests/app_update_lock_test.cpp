// One update at a time: the run sequence with the update lock free, held by another
// process, abandoned by a killed one, or out of the caller's reach.
#include "tests/support/app_test_support.h"

#include <vector>

#include "app/process_state.h"
#include "app/update_lock.h"
#include "tests/support/sim_fixture.h"

namespace qir {
namespace {

using platform::LockResult;
using testing::oneInboxDisk;
using testing::readFileBytes;
using testing::wide;

const std::string kRunning =
    "  [ERROR] Another firmware update is running on this machine; no disk was touched. "
    "Try again when it has finished.\n";

class UpdateLockRun : public testing::ShellTest {
  protected:
    // A run of one inbox disk whose route gives 0; notes whether the route ran and
    // whether the lock was held meanwhile.
    int32_t runOneDisk(std::vector<std::u16string> args) {
        routeRan = false;
        lockHeldDuringRoute = false;
        console.text.clear();
        DiskUpdaterOps ops = oneInboxDisk(0, [this] {
            routeRan = true;
            lockHeldDuringRoute = machine.lockHeld == std::u16string(kUpdateLockName);
        });
        return runMain(std::move(args), &ops);
    }

    bool routeRan = false;
    bool lockHeldDuringRoute = false;
};

TEST_F(UpdateLockRun, HeldElsewhereTouchesNoDiskAndEndsWithOne) {
    machine.updateRunning = true;
    const std::filesystem::path log = dir / "fw.txt";
    EXPECT_EQ(runOneDisk({u"/s", u"/log=" + wide(log)}), 1);
    EXPECT_FALSE(routeRan);
    EXPECT_EQ(machine.lockAttempts, 1);
    EXPECT_FALSE(machine.lockHeld);
    const std::string started = "\n >> QIR Started \n\n";
    const size_t at = console.text.find(started);
    ASSERT_NE(at, std::string::npos) << console.text;
    EXPECT_EQ(console.text.substr(at),
              started + kRunning + "\n >> QIR Ended (Return Code : 1)\n\n");
    const std::string file = readFileBytes(log);
    EXPECT_NE(file.find("\r\n[Update Running]\r\nUpdated Firmware Version : "), std::string::npos)
        << file;
    EXPECT_NE(file.find("\r\nResult Details : Another firmware update was running"),
              std::string::npos);
    EXPECT_NE(file.find("[Final Result]\r\nReturn Code : 1\r\nResult Details : Unable to update "
                        "firmware.\r\n"),
              std::string::npos);
    EXPECT_FALSE(machine.messageBoxShown.has_value());

    // Without /s the summary says so in the box.
    EXPECT_EQ(runOneDisk({}), 1);
    ASSERT_TRUE(machine.messageBoxShown.has_value());
    EXPECT_NE(text::toUtf8(machine.messageBoxShown->text)
                  .find("[Update Running]\nAnother firmware update was running"),
              std::string::npos);
}

// Free, abandoned by a killed holder, not ours to create, or failing: the run goes ahead
// and prints, logs and returns exactly what a run with a free lock does; a lock it took
// is held through the update and let go at the end.
TEST_F(UpdateLockRun, EveryOtherAnswerRunsAsAlways) {
    const std::filesystem::path log = dir / "fw.txt";
    EXPECT_EQ(runOneDisk({u"/s", u"/log=" + wide(log)}), 0);
    const std::string console0 = console.text, log0 = readFileBytes(log);
    EXPECT_TRUE(lockHeldDuringRoute);
    for (LockResult answer : {LockResult::TakenOverAbandoned, LockResult::NotPermitted,
                              LockResult::Failed, LockResult::Taken}) {
        SCOPED_TRACE(static_cast<int>(answer));
        machine.freeLockAnswer = answer;
        EXPECT_EQ(runOneDisk({u"/s", u"/log=" + wide(log)}), 0);
        EXPECT_TRUE(routeRan);
        EXPECT_EQ(lockHeldDuringRoute,
                  answer == LockResult::Taken || answer == LockResult::TakenOverAbandoned);
        EXPECT_FALSE(machine.lockHeld);
        EXPECT_EQ(console.text, console0);
        EXPECT_EQ(readFileBytes(log), log0);
    }
    // Let go properly, an abandoned lock is an ordinary one for the next run.
    EXPECT_EQ(machine.freeLockAnswer, LockResult::Taken);
}

// A box left open must not keep every later update waiting: the lock goes once the report
// is written, before the box.
class BoxWatcher : public sim::SimMachine {
  public:
    int messageBox(const std::u16string& text, const std::u16string& caption,
                   uint32_t type) override {
        lockHeldAtBox = lockHeld.has_value();
        return SimMachine::messageBox(text, caption, type);
    }
    bool lockHeldAtBox = true;
};

TEST(UpdateLockBox, LetGoBeforeTheMessageBox) {
    BoxWatcher machine;
    platform::setPlatform(&machine);
    testing::ConsoleCapture console;
    std::vector<const char16_t*> argv = {u"qir.exe", nullptr};
    DiskUpdaterOps ops = oneInboxDisk(0);
    EXPECT_EQ(mainRoutine(1, argv.data(), ops), 0);
    platform::setPlatform(nullptr);
    EXPECT_TRUE(machine.messageBoxShown.has_value());
    EXPECT_FALSE(machine.lockHeldAtBox);
    EXPECT_EQ(machine.lockAttempts, 1);
}

// On a whole machine: no device request at all, and the drives as they were.
class UpdateRunningMachine : public testing::SimFixture {};

TEST_F(UpdateRunningMachine, SeesNoRequest) {
    load(R"({"update_running": true, "devices": [)" + testing::inboxDisk(1, "a") +
         R"(], "drives": [)" + testing::makerDrive("a") + "]}");
    const std::string before = machine->stateJson();
    std::vector<const char16_t*> argv = {u"qir.exe", u"/s", nullptr};
    EXPECT_EQ(mainRoutine(2, argv.data()), 1);
    EXPECT_TRUE(machine->trace().empty());
    EXPECT_EQ(machine->stateJson(), before);
    EXPECT_NE(console.take().find(kRunning), std::string::npos);
}

} // namespace
} // namespace qir
