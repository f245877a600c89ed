#include <gtest/gtest.h>

#include "tests/support/sim_fixture.h"

#include <string>
#include <vector>

#include "app/console.h"
#include "firmware/firmware_image.h"
#include "raid/irst_update.h"
#include "tests/support/console_capture.h"

namespace {

const std::u16string kPort =
    u"\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}";

struct DriveSetup {
    int pathId = 3;
    int fwug = 1;
    const char* activation = "reset";
};

std::string rstMachine(const DriveSetup& setup, const std::string& faults = "",
                       const std::string& portExtra = "") {
    return R"({"devices": [{"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3&1",
        "interface_path": "\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}",
        "driver_desc": "Intel(R) Chipset SATA/PCIe RST Premium Controller", "driver": "rst")" +
           portExtra + R"(, "rst": {"ports": [{"path_id": )" + std::to_string(setup.pathId) +
           R"(, "drive": "pt"}], "raid_members": []}}],
        "drives": [{"id": "pt", "serial": "SERPT", "model": "KORVANE TX7Q3 1TB",
                    "firmware": "VDL7W2QA", "version": "1.3.0", "fwug": )" +
           std::to_string(setup.fwug) + R"(, "activation": ")" + setup.activation +
           R"(", "slots": {"count": 3}}],
        "faults": [)" +
           faults + "]}";
}

qir::TargetDisk target(int64_t pathId, uint32_t granularity,
                       qir::DriverKind kind = qir::RstNonRaid) {
    qir::TargetDisk t;
    t.devicePath = kPort;
    t.pathId = pathId;
    t.driverKind = kind;
    t.modelNumber = u"KORVANE TX7Q3 1TB                       ";
    t.serialNumber = u"SERPT               ";
    t.firmwareRevision = u"VDL7W2QA";
    t.updateGranularity = granularity;
    return t;
}

std::string expectedBlock(const qir::TargetDisk& t) {
    const std::string rule = "---------------------------------------------\n";
    return "\n" + rule + " Firmware Download | Target Disk Information \n" + rule +
           " Driver : IRST Driver\n Raid : " + (t.driverKind == qir::RstRaid ? "Yes" : "No") +
           "\n Model Number : " + qir::toConsoleBytes(t.modelNumber) +
           "\n Serial Number : " + qir::toConsoleBytes(t.serialNumber) +
           "\n Current FW : " + qir::toConsoleBytes(t.firmwareRevision) +
           "\n Updated FW : " + qir::toConsoleBytes(qir::imageRevision) + "\n" + rule;
}

class IrstRoute : public ::testing::Test {
  protected:
    void SetUp() override { qir::loadWorkingCopy(); }
    const uint32_t imageSize = qir::kFirmwareImageSize;
};

std::string wholeImageDigest() {
    return qir::sim::imageDigest(qir::workingCopy(), qir::kFirmwareImageSize);
}

TEST_F(IrstRoute, SendsTheWholeImageInPiecesOfTheGranularityAndActivates) {
    struct Case {
        uint32_t granularity;
        std::vector<uint32_t> sizes; // first, last and count are checked
        size_t count;
    };
    const Case cases[] = {
        {1, {4096, 4096}, 576},
        {8, {32768, 32768}, 72},
        {192, {786432, 786432}, 3},
        // Does not divide the image: the last piece carries exactly what remains.
        {255, {1044480, 270336}, 3},
        {7, {28672, 8192}, 83},
    };
    for (const Case& c : cases) {
        DriveSetup setup;
        setup.fwug = static_cast<int>(c.granularity);
        QIR_LOAD_MACHINE(machine, rstMachine(setup));
        qir::testing::ConsoleCapture console;
        const qir::TargetDisk t = target(3, c.granularity);
        EXPECT_EQ(qir::updateIrstDisk(t, &imageSize), 0u) << c.granularity;
        EXPECT_EQ(console.text, expectedBlock(t) + "\n  [PASS] Firmware download succeeded.\n"
                                                   "  [PASS] Firmware activation succeeded.\n\n")
            << c.granularity;
        const qir::sim::NvmeDrive* drive = machine->drive("pt");
        ASSERT_NE(drive, nullptr);
        const std::vector<uint32_t> sizes(drive->downloadSizes().begin(),
                                          drive->downloadSizes().end());
        ASSERT_EQ(sizes.size(), c.count) << c.granularity;
        EXPECT_EQ(sizes.front(), c.sizes[0]) << c.granularity;
        EXPECT_EQ(sizes.back(), c.sizes[1]) << c.granularity;
        uint64_t expectedOffset = 0;
        for (size_t i = 0; i < drive->downloadOffsets().size(); ++i) {
            EXPECT_EQ(drive->downloadOffsets()[i], expectedOffset) << i;
            expectedOffset += sizes[i];
        }
        EXPECT_EQ(expectedOffset, imageSize);
        EXPECT_EQ(drive->commitCount(), 1);
        EXPECT_EQ(drive->committedDigest(), wholeImageDigest()) << c.granularity;
        EXPECT_EQ(drive->pendingSlot(), 2);
        EXPECT_EQ(machine->openHandles, 0);
    }
}

TEST_F(IrstRoute, APowerCycleRequirementPassesWith1602) {
    DriveSetup setup;
    setup.activation = "power_cycle";
    QIR_LOAD_MACHINE(machine, rstMachine(setup));
    qir::testing::ConsoleCapture console;
    const qir::TargetDisk t = target(3, 1, qir::RstRaid);
    EXPECT_EQ(qir::updateIrstDisk(t, &imageSize), 1602u);
    EXPECT_EQ(console.text,
              expectedBlock(t) +
                  "\n  [PASS] Firmware download succeeded.\n"
                  "  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n");
}

TEST_F(IrstRoute, TheDriveIsAddressedByTheLowByteOfItsPathId) {
    struct Case {
        int64_t pathId;
        int port;
    };
    const Case cases[] = {{-1, 0xFF}, {258, 2}, {0, 0}};
    for (const Case& c : cases) {
        DriveSetup setup;
        setup.pathId = c.port;
        QIR_LOAD_MACHINE(machine, rstMachine(setup));
        qir::testing::ConsoleCapture console;
        EXPECT_EQ(qir::updateIrstDisk(target(c.pathId, 64), &imageSize), 0u) << c.pathId;
        EXPECT_EQ(machine->drive("pt")->committedDigest(), wholeImageDigest()) << c.pathId;
    }
}

// A refused piece stops the download before any activation; an activation answer is
// read by the status table once the whole image went through.
TEST_F(IrstRoute, AFaultedRequestEndsTheRouteWithItsMessage) {
    const std::string failed = "\n  [FAIL] Firmware download failed.\n";
    const std::string downloaded = "\n  [PASS] Firmware download succeeded.\n";
    struct Case {
        const char* fault;
        int granularity;
        std::string tail;
        uint32_t result;
        int downloads;
        int activations;
    };
    const Case cases[] = {
        {R"({"kind": "rst.download", "occurrence": 3, "return_code": 3})", 8,
         "  [ERROR] Firmware download failed: srbControl->ReturnCode 3\n" + failed, 1, 3, 0},
        {R"({"kind": "rst.download", "occurrence": 1, "error": 31})", 8,
         "  [ERROR] Firmware download IOCTL failed: 0x1F\n" + failed, 1, 1, 0},
        {R"({"kind": "rst.download", "occurrence": 72, "return_code": "0xFFFFFFFF"})", 8,
         "  [ERROR] Firmware download failed: srbControl->ReturnCode -1\n" + failed, 1, 72, 0},
        {R"({"kind": "rst.activate", "return_code": 5})", 64,
         downloaded +
             "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 5\n\n",
         1, 9, 1},
        {R"({"kind": "rst.activate", "return_code": "0x10"})", 64,
         downloaded + "  [ERROR] Firmware activate failed: error returned\n\n", 1, 9, 1},
        {R"({"kind": "rst.activate", "return_code": "0x20"})", 64,
         downloaded + "  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n", 1602,
         9, 1},
        {R"({"kind": "rst.activate", "error": 1117})", 64,
         downloaded + "  [ERROR] Firmware activate IOCTL failed: 0x45D\n", 1, 9, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QIR_LOAD_MACHINE(machine, rstMachine(DriveSetup{3, c.granularity, "reset"}, c.fault));
        qir::testing::ConsoleCapture console;
        const qir::TargetDisk t = target(3, static_cast<uint32_t>(c.granularity));
        EXPECT_EQ(qir::updateIrstDisk(t, &imageSize), c.result);
        EXPECT_EQ(console.text, expectedBlock(t) + c.tail);
        EXPECT_EQ(machine->requestCount("rst.download"), c.downloads);
        EXPECT_EQ(machine->requestCount("rst.activate"), c.activations);
        EXPECT_EQ(machine->openHandles, 0);
    }
}

TEST_F(IrstRoute, AControllerThatCannotOpenFailsAfterTheBlockWithNothingSent) {
    QIR_LOAD_MACHINE(machine, rstMachine(DriveSetup{}, "", R"(, "open_error": 2)"));
    qir::testing::ConsoleCapture console;
    const qir::TargetDisk t = target(3, 1, qir::RstRaid);
    EXPECT_EQ(qir::updateIrstDisk(t, &imageSize), 5u);
    EXPECT_EQ(console.text, expectedBlock(t) + "  [ERROR] Failed to get disk handle: 0x2\n\n");
    EXPECT_EQ(machine->requestCount("rst.download"), 0);
    EXPECT_EQ(machine->openHandles, 0);
}

} // namespace
