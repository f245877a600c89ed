#include <gtest/gtest.h>

#include "tests/support/sim_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/console.h"
#include "firmware/firmware_image.h"
#include "raid/vroc_update.h"
#include "tests/support/console_capture.h"

namespace {

std::string vrocMachine(const std::string& faults = "", int port = 3) {
    return R"({"devices": [{"class": "scsi_port", "scsi_port": )" + std::to_string(port) +
           R"(, "driver": "vroc",
        "vroc": {"non_raid": [{"drive": "a", "disk_id": 11, "address": 1},
                              {"drive": "b", "disk_id": 12, "address": 2}]}}],
        "drives": [{"id": "a", "serial": "SERA", "model": "KORVANE TX7Q3 1TB", "firmware": "VDL7W2QA",
                    "slots": {"count": 3}},
                   {"id": "b", "serial": "SERB", "model": "KORVANE TX7Q3 1TB", "firmware": "VDL7W2QA",
                    "slots": {"count": 3}}],
        "faults": [)" +
           faults + "]}";
}

qir::TargetDisk target(uint32_t diskId, uint32_t granularity = 1) {
    qir::TargetDisk t;
    t.devicePath = u"\\\\?\\pci#ven_8086&dev_a77f#3&1";
    t.pathId = 2;
    t.driverKind = qir::VrocNonRaid;
    t.modelNumber = u"KORVANE TX7Q3 1TB                       ";
    t.serialNumber = u"SERB                ";
    t.firmwareRevision = u"VDL7W2QA";
    t.updateGranularity = granularity;
    t.vrocDiskId = diskId;
    return t;
}

// Ten lines: no Raid line, and the VROC driver named.
std::string expectedBlock(const qir::TargetDisk& t) {
    const std::string rule = "---------------------------------------------\n";
    return "\n" + rule + " Firmware Download | Target Disk Information \n" + rule +
           " Driver : VROC Driver\n Model Number : " + qir::toConsoleBytes(t.modelNumber) +
           "\n Serial Number : " + qir::toConsoleBytes(t.serialNumber) +
           "\n Current FW : " + qir::toConsoleBytes(t.firmwareRevision) +
           "\n Updated FW : " + qir::toConsoleBytes(qir::imageRevision) + "\n" + rule;
}

const char kPassed[] = "\n  [PASS] Firmware download succeeded.\n"
                       "  [PASS] Firmware activation succeeded. Please reboot computer.\n\n";

class VrocRoute : public ::testing::Test {
  protected:
    void SetUp() override { qir::loadWorkingCopy(); }
    const uint32_t imageSize = qir::kFirmwareImageSize;
};

TEST_F(VrocRoute, CommitsTheWholeImageOnTheAddressedDiskOnly) {
    struct Case {
        uint32_t granularity;
        size_t pieces;
        uint32_t lastPiece;
    };
    const Case cases[] = {{1, 576, 4096}, {16, 36, 65536}, {255, 3, 270336}, {5, 116, 4096}};
    for (const Case& c : cases) {
        QIR_LOAD_MACHINE(m, vrocMachine());
        qir::testing::ConsoleCapture console;
        const qir::TargetDisk t = target(12, c.granularity);
        EXPECT_EQ(qir::updateVrocDisk(t, &imageSize, 3), 0u) << c.granularity;
        EXPECT_EQ(console.text, expectedBlock(t) + kPassed) << c.granularity;
        const qir::sim::NvmeDrive* b = m->drive("b");
        ASSERT_EQ(b->downloadSizes().size(), c.pieces) << c.granularity;
        EXPECT_EQ(b->downloadSizes().front(), std::min<uint32_t>(c.granularity * 4096, imageSize));
        EXPECT_EQ(b->downloadSizes().back(), c.lastPiece) << c.granularity;
        EXPECT_EQ(b->committedDigest(), qir::sim::imageDigest(qir::workingCopy(), imageSize));
        EXPECT_EQ(b->commitCount(), 1);
        // Every request named disk 12, so the other disk saw none of them.
        EXPECT_TRUE(m->drive("a")->downloadSizes().empty());
        EXPECT_EQ(m->drive("a")->commitCount(), 0);
        EXPECT_EQ(m->openHandles, 0);
    }
}

TEST_F(VrocRoute, OnlyTheStatusBitsOfAPieceCompletionCount) {
    QIR_LOAD_MACHINE(m, vrocMachine(R"({"kind": "vroc.download", "occurrence": "every",
                                        "fields": {"CplDw3": "0x0001FFFF"}})"));
    qir::testing::ConsoleCapture console;
    const qir::TargetDisk t = target(12, 64);
    EXPECT_EQ(qir::updateVrocDisk(t, &imageSize, 3), 0u);
    EXPECT_EQ(console.text, expectedBlock(t) + kPassed);
}

// A refused piece stops the download before the commit; a commit answer is read by the
// commit table once the whole image went through.
TEST_F(VrocRoute, AFaultedRequestEndsTheRouteWithItsMessage) {
    const std::string failed = "\n  [FAIL] Firmware download failed.\n";
    const std::string downloaded = "\n  [PASS] Firmware download succeeded.\n";
    const std::string commitStatus =
        "  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: ";
    struct Case {
        const char* fault;
        uint32_t diskId;
        std::string tail;
        uint32_t result;
        int downloads;
        int commits;
    };
    const Case cases[] = {
        {R"({"kind": "vroc.download", "occurrence": 2, "completion_status": "0x10B"})", 12,
         "  [ERROR] Firmware download failed: (nvmePassThroughIoctl->CplEntry[3]) >> 17: "
         "0x0000010b\n" +
             failed,
         1, 2, 0},
        {R"({"kind": "vroc.download", "occurrence": 3, "return_code": 14})", 12,
         "  [ERROR] Firmware download failed: srbControl->ReturnCode 14\n" + failed, 1, 3, 0},
        {R"({"kind": "vroc.download", "error": 31})", 12,
         "  [ERROR] Firmware download IOCTL failed: 0x1F\n" + failed, 1, 1, 0},
        {R"({"kind": "vroc.commit", "completion_status": "0x10B"})", 11,
         downloaded + commitStatus + "0x0000010b\n", 5, 9, 1},
        {R"({"kind": "vroc.commit", "completion_status": 1})", 11,
         downloaded + commitStatus + "0x00000001\n", 5, 9, 1},
        {R"({"kind": "vroc.commit", "return_code": 3})", 11,
         downloaded + "  [ERROR] NVME_IOCTL_INSUFFICIENT_IN_BUFFER\n\n", 1, 9, 1},
        {R"({"kind": "vroc.commit", "return_code": 16})", 11,
         downloaded +
             "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 16\n\n",
         1, 9, 1},
        {R"({"kind": "vroc.commit", "error": 1117})", 11,
         downloaded + "  [ERROR] Firmware activate IOCTL failed: 0x45D\n", 1, 9, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QIR_LOAD_MACHINE(m, vrocMachine(c.fault));
        qir::testing::ConsoleCapture console;
        const qir::TargetDisk t = target(c.diskId, 64);
        EXPECT_EQ(qir::updateVrocDisk(t, &imageSize, 3), c.result);
        EXPECT_EQ(console.text, expectedBlock(t) + c.tail);
        EXPECT_EQ(m->requestCount("vroc.download"), c.downloads);
        EXPECT_EQ(m->requestCount("vroc.commit"), c.commits);
        EXPECT_EQ(m->openHandles, 0);
    }
}

TEST_F(VrocRoute, APortThatCannotOpenFailsAfterTheBlock) {
    QIR_LOAD_MACHINE(m, vrocMachine("", 3));
    qir::testing::ConsoleCapture console;
    const qir::TargetDisk t = target(12);
    EXPECT_EQ(qir::updateVrocDisk(t, &imageSize, 4), 5u);
    EXPECT_EQ(console.text, expectedBlock(t) + "  [ERROR] Failed to get disk handle: 0x2\n\n");
    EXPECT_EQ(m->requestCount("vroc.download"), 0);
}

} // namespace
