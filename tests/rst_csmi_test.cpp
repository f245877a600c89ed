#include <gtest/gtest.h>

#include "tests/support/sim_fixture.h"

#include <string>
#include <vector>

#include "discovery/csmi_query.h"
#include "tests/support/console_capture.h"

namespace {

const std::u16string kPort =
    u"\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}";

std::string drive(int n) {
    const std::string id = "m" + std::to_string(n);
    return R"({"id": ")" + id + R"(", "serial": "SER)" + std::to_string(n) +
           R"(", "model": "KORVANE TX7Q3 1TB", "firmware": "VDL7W2QA"})";
}

// An RST controller whose ports 0..count-1 hold drives m0..; RAID set 0 is the given
// list of ports.
std::string controllerMachine(int drives, const std::string& raidMembers,
                              const std::string& faults = "", const std::string& portExtra = "") {
    std::string ports, list;
    for (int n = 0; n < drives; ++n) {
        ports += std::string(n ? "," : "") + R"({"path_id": )" + std::to_string(n) +
                 R"(, "drive": "m)" + std::to_string(n) + R"("})";
        list += std::string(n ? "," : "") + drive(n);
    }
    return R"({"devices": [{"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3&1",
        "interface_path": "\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}",
        "driver_desc": "Intel(R) Chipset SATA/PCIe RST Premium Controller", "driver": "rst")" +
           portExtra + R"(, "rst": {"ports": [)" + ports + R"(], "raid_members": [)" + raidMembers +
           R"(]}}], "drives": [)" + list + R"(], "faults": [)" + faults + "]}";
}

qir::TargetDisk volumeRecord() {
    qir::TargetDisk volume;
    volume.devicePath = kPort;
    volume.driverKind = qir::RstRaid;
    return volume;
}

std::vector<int64_t> pathIdsOf(const qir::DiskList& disks) {
    std::vector<int64_t> ids;
    for (const qir::TargetDisk& d : disks)
        ids.push_back(d.pathId);
    return ids;
}

TEST(CsmiRaidConfig, EachMemberIsIdentifiedInDriveRecordOrder) {
    QIR_LOAD_MACHINE(machine, controllerMachine(3, "2, 0"));
    qir::testing::ConsoleCapture console;
    qir::DiskList identified;
    qir::queryCsmiRaidConfig(volumeRecord(), identified);
    EXPECT_EQ(pathIdsOf(identified), (std::vector<int64_t>{2, 0}));
    // Two records fit the first reply: nothing to ask again.
    EXPECT_EQ(machine->requestCount("csmi"), 1);
    ASSERT_EQ(identified.size(), 2u);
    EXPECT_EQ(identified[0].serialNumber.substr(0, 4), u"SER2");
    EXPECT_EQ(identified[1].serialNumber.substr(0, 4), u"SER0");
    for (const qir::TargetDisk& member : identified) {
        EXPECT_EQ(member.driverKind, qir::RstRaid);
        EXPECT_EQ(member.devicePath, kPort);
        EXPECT_EQ(member.firmwareRevision, u"VDL7W2QA");
    }
    EXPECT_EQ(console.text, "");
    EXPECT_EQ(machine->openHandles, 0);
}

TEST(CsmiRaidConfig, EveryVolumeRecordAsksForRaidSetZero) {
    QIR_LOAD_MACHINE(machine, controllerMachine(2, "0, 1"));
    qir::DiskList identified;
    qir::queryCsmiRaidConfig(volumeRecord(), identified);
    qir::queryCsmiRaidConfig(volumeRecord(), identified);
    EXPECT_EQ(pathIdsOf(identified), (std::vector<int64_t>{0, 1, 0, 1}));
}

TEST(CsmiRaidConfig, VolumesWithMoreThanTwoMembersAreListedWhole) {
    QIR_LOAD_MACHINE(machine, controllerMachine(5, "4, 3, 2, 1, 0"));
    qir::DiskList identified;
    qir::queryCsmiRaidConfig(volumeRecord(), identified);
    EXPECT_EQ(pathIdsOf(identified), (std::vector<int64_t>{4, 3, 2, 1, 0}));
    EXPECT_EQ(machine->requestCount("csmi"), 2);
    EXPECT_EQ(machine->openHandles, 0);
}

TEST(CsmiRaidConfig, AFailedOrChangedRepeatFallsBackToTheMembersOfTheFirstReply) {
    struct Case {
        const char* fault;
    };
    const Case cases[] = {
        {R"({"kind": "csmi", "occurrence": 2, "error": 31})"},
        {R"({"kind": "csmi", "occurrence": 2, "return_code": 1})"},
        {R"({"kind": "csmi", "occurrence": 2, "fields": {"bDriveCount": 4}})"},
    };
    for (const Case& c : cases) {
        QIR_LOAD_MACHINE(machine, controllerMachine(5, "4, 3, 2, 1, 0", c.fault));
        qir::testing::ConsoleCapture console;
        qir::DiskList identified;
        qir::queryCsmiRaidConfig(volumeRecord(), identified);
        EXPECT_EQ(pathIdsOf(identified), (std::vector<int64_t>{4, 3})) << c.fault;
        EXPECT_EQ(console.text, "") << c.fault;
    }
}

TEST(CsmiRaidConfig, ACountAboveTheMembersTheDriverHasReadsNothingOutsideTheReply) {
    // The driver claims 255 drives in its first reply but holds two.
    QIR_LOAD_MACHINE(
        machine,
        controllerMachine(2, "0, 1", R"({"kind": "csmi", "fields": {"bDriveCount": 255}})"));
    qir::DiskList identified;
    qir::queryCsmiRaidConfig(volumeRecord(), identified);
    EXPECT_EQ(pathIdsOf(identified), (std::vector<int64_t>{0, 1}));
}

TEST(CsmiRaidConfig, FailuresPrintTheirMessageAndListNoMember) {
    struct Case {
        std::string fault;
        std::string portExtra;
        std::string output;
    };
    const Case cases[] = {
        {R"({"kind": "csmi", "return_code": "0x1A"})", "",
         "  [ERROR] CSMI GET RAID CONFIG ReturnCode: 0x1a\n\n"},
        {R"({"kind": "csmi", "error": 1})", "",
         "  [ERROR] CSMI GET RAID CONFIG IOCTL failed: 0x1\n\n"},
        {R"({"kind": "csmi", "error": 1117})", "",
         "  [ERROR] CSMI GET RAID CONFIG IOCTL failed: 0x45D\n\n"},
        {R"({"kind": "csmi", "fields": {"bDriveCount": 0}})", "", ""},
        {"", R"(, "open_error": 32)", ""},
    };
    for (const Case& c : cases) {
        QIR_LOAD_MACHINE(machine, controllerMachine(2, "0, 1", c.fault, c.portExtra));
        qir::testing::ConsoleCapture console;
        qir::DiskList identified;
        qir::queryCsmiRaidConfig(volumeRecord(), identified);
        EXPECT_TRUE(identified.empty()) << c.fault << c.portExtra;
        EXPECT_EQ(console.text, c.output) << c.fault << c.portExtra;
        EXPECT_EQ(machine->openHandles, 0);
    }
    // The stream is back in decimal after the hexadecimal code.
    qir::testing::ConsoleCapture console;
    qir::narrowOut() << uint32_t{26};
    EXPECT_EQ(console.text, "26");
}

} // namespace
