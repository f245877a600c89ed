// The status tables as the routes print them: each driver status a route reads after
// its activation or commit, answered by the simulated driver, gives one message and one
// result. The messages themselves are checked where they matter (a status of its own
// names it, an unexpected one names its code); the table is not copied here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "firmware/firmware_image.h"
#include "raid/irst_update.h"
#include "raid/vroc_update.h"
#include "tests/support/console_capture.h"
#include "tests/support/sim_fixture.h"

namespace {

const char kDrive[] = R"("drives": [{"id": "d", "serial": "S", "model": "KORVANE TX7Q3 1TB",
    "firmware": "VDL7W2QA", "fwug": 64, "slots": {"count": 3}}])";

// What the route printed after the download, and its result.
struct Printed {
    std::string message;
    uint32_t result = 0;
};

Printed afterIrstActivation(uint32_t returnCode) {
    qir::testing::SimulatedMachine machine(
        R"({"devices": [{"class": "storage_port", "interface_path": "\\\\?\\p",
        "driver_desc": "Intel(R) RST Premium Controller", "driver": "rst",
        "rst": {"ports": [{"path_id": 3, "drive": "d"}]}}], )" +
        std::string(kDrive) + R"(, "faults": [{"kind": "rst.activate", "return_code": )" +
        std::to_string(returnCode) + "}]}");
    EXPECT_TRUE(machine.loaded()) << machine.error();
    if (!machine)
        return {};
    qir::TargetDisk t;
    t.devicePath = u"\\\\?\\p";
    t.pathId = 3;
    t.driverKind = qir::RstNonRaid;
    t.updateGranularity = 64;
    qir::testing::ConsoleCapture console;
    Printed p;
    p.result = qir::updateIrstDisk(t, &qir::kFirmwareImageSize);
    const std::string downloaded = "  [PASS] Firmware download succeeded.\n";
    const size_t at = console.text.find(downloaded);
    EXPECT_NE(at, std::string::npos) << console.text;
    p.message = at == std::string::npos ? "" : console.text.substr(at + downloaded.size());
    return p;
}

Printed afterVrocCommit(uint32_t returnCode, uint32_t completionStatus) {
    const std::string effect = returnCode
                                   ? R"("return_code": )" + std::to_string(returnCode)
                                   : R"("completion_status": )" + std::to_string(completionStatus);
    qir::testing::SimulatedMachine machine(
        R"({"devices": [{"class": "scsi_port", "scsi_port": 3, "driver": "vroc",
        "vroc": {"non_raid": [{"drive": "d", "disk_id": 11, "address": 1}]}}], )" +
        std::string(kDrive) + R"(, "faults": [{"kind": "vroc.commit", )" + effect + "}]}");
    EXPECT_TRUE(machine.loaded()) << machine.error();
    if (!machine)
        return {};
    qir::TargetDisk t;
    t.driverKind = qir::VrocNonRaid;
    t.vrocDiskId = 11;
    t.updateGranularity = 64;
    qir::testing::ConsoleCapture console;
    Printed p;
    p.result = qir::updateVrocDisk(t, &qir::kFirmwareImageSize, 3);
    const std::string downloaded = "  [PASS] Firmware download succeeded.\n";
    const size_t at = console.text.find(downloaded);
    EXPECT_NE(at, std::string::npos) << console.text;
    p.message = at == std::string::npos ? "" : console.text.substr(at + downloaded.size());
    return p;
}

class StatusTables : public ::testing::Test {
  protected:
    void SetUp() override { qir::loadWorkingCopy(); }
};

TEST_F(StatusTables, AnActivationStatusGivesItsMessageAndResult) {
    EXPECT_EQ(afterIrstActivation(0).message, "  [PASS] Firmware activation succeeded.\n\n");
    EXPECT_EQ(afterIrstActivation(0).result, 0u);
    const Printed powerCycle = afterIrstActivation(0x20);
    EXPECT_EQ(powerCycle.result, 1602u);
    EXPECT_EQ(powerCycle.message,
              "  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n");
    // Statuses of their own; the error and the controller error share theirs.
    EXPECT_EQ(afterIrstActivation(1).message, afterIrstActivation(0x10).message);
    std::set<std::string> own;
    for (uint32_t code : {1u, 6u, 7u}) {
        const Printed p = afterIrstActivation(code);
        EXPECT_EQ(p.result, 1u) << code;
        EXPECT_EQ(p.message.rfind("  [ERROR] Firmware activate failed: ", 0), 0u) << p.message;
        EXPECT_TRUE(own.insert(p.message).second) << p.message;
    }
    // Parameter errors and statuses the driver is not known to send name their code, as
    // a signed number.
    for (uint32_t code : {2u, 3u, 4u, 5u, 8u, 15u, 17u, 31u, 33u, 0x40u, 0xFFFFFFFFu}) {
        const Printed p = afterIrstActivation(code);
        EXPECT_EQ(p.result, 1u) << code;
        const std::string named =
            "srbControl->ReturnCode " + std::to_string(static_cast<int32_t>(code)) + "\n\n";
        EXPECT_EQ(p.message.rfind("  [ERROR] Firmware activate ", 0), 0u) << p.message;
        EXPECT_EQ(p.message.size() - p.message.rfind(named), named.size()) << p.message;
    }
}

TEST_F(StatusTables, ACommitStatusOfTheDriverGivesItsOwnMessageAndFails) {
    std::set<std::string> messages;
    for (uint32_t code = 1; code <= 15; ++code) {
        const Printed p = afterVrocCommit(code, 0);
        EXPECT_EQ(p.result, 1u) << code;
        EXPECT_EQ(p.message.rfind("  [ERROR] NVME_IOCTL_", 0), 0u) << p.message;
        EXPECT_TRUE(messages.insert(p.message).second) << p.message;
    }
    EXPECT_EQ(afterVrocCommit(14, 0).message, "  [ERROR] NVME_IOCTL_INVALID_PATH_TARGET_ID\n\n");
    for (uint32_t code : {16u, 255u}) {
        const Printed p = afterVrocCommit(code, 0);
        EXPECT_EQ(p.result, 1u);
        EXPECT_EQ(p.message, "  [ERROR] Firmware activate failed: unexpected error, "
                             "srbControl->ReturnCode " +
                                 std::to_string(code) + "\n\n");
    }
}

TEST_F(StatusTables, OnceTheDriverAcceptedTheDrivesCompletionStatusDecides) {
    for (uint32_t status : {1u, 0x10Bu, 0x7FFFu}) {
        const Printed p = afterVrocCommit(0, status);
        EXPECT_EQ(p.result, 5u);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08x", status);
        EXPECT_EQ(p.message, std::string("  [ERROR] Firmware activation failed: Completion "
                                         "Queue Entry Status Value: ") +
                                 hex + "\n");
    }
}

} // namespace
