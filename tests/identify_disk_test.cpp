#include "tests/support/sim_fixture.h"

#include "discovery/identification.h"

namespace {

using namespace qir::testing;

// An RST controller with drive "d" behind the given path id.
std::string rstPort(int pathId, const std::string& portExtra = "") {
    return R"({"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3&1",)"
           R"( "interface_path": "\\\\?\\pci#rst#3&1", "driver": "rst",)"
           R"( "rst": {"ports": [{"path_id": )" +
           std::to_string(pathId) + R"(, "drive": "d"}]})" + portExtra + "}";
}

// The same drive "d" behind the inbox driver (PHYSICALDRIVE1) and behind port 2 of an RST
// controller, so that both variants read the very same Identify data.
std::string bothStacks(const std::string& driveExtra, const std::string& faults = "",
                       const std::string& portExtra = "") {
    return machineOf(inboxDisk(1, "d") + "," + rstPort(2, portExtra), makerDrive("d", driveExtra),
                     faults);
}

qir::TargetDisk record(qir::DriverKind kind, int64_t pathId = -1) {
    qir::TargetDisk disk;
    disk.devicePath = kind == qir::InboxNvme ? physicalDrive(1) : u"\\\\?\\pci#rst#3&1";
    disk.driverKind = kind;
    disk.pathId = pathId;
    return disk;
}

class IdentifyDiskTest : public SimFixture {
  protected:
    // Identifies the drive through both stacks; the inbox record first.
    qir::DiskList identifyBoth() {
        qir::DiskList identified;
        EXPECT_EQ(qir::identifyInboxDisk(record(qir::InboxNvme), identified), 0);
        EXPECT_EQ(qir::identifyRstDisk(record(qir::RstNonRaid, 2), identified), 0);
        EXPECT_EQ(identified.size(), 2u);
        identified.resize(2);
        return identified;
    }
};

TEST_F(IdentifyDiskTest, ZeroBytesEndInboxTextButStayInRstText) {
    // 40 model characters, FR "ABC" and five zero bytes, a serial byte above 0x7F.
    load(bothStacks(R"(, "model": "KORVANE TX7Q3 1TB MODEL NUMBER OF FORTYX",)"
                    R"( "identify_bytes": [{"offset": 64, "hex": "4142430000000000"},)"
                    R"( {"offset": 4, "hex": "E9"}])"));
    qir::DiskList identified = identifyBoth();
    EXPECT_EQ(identified[0].firmwareRevision, u"ABC");
    EXPECT_EQ(identified[1].firmwareRevision, std::u16string(u"ABC\0\0\0\0\0", 8));
    for (const qir::TargetDisk& disk : identified) {
        EXPECT_EQ(disk.modelNumber, u"KORVANE TX7Q3 1TB MODEL NUMBER OF FORTYX");
        EXPECT_EQ(disk.serialNumber, u"\uFFE9Nd" + std::u16string(17, u' '));
    }
    EXPECT_EQ(identified[0].pathId, -1);
    EXPECT_EQ(identified[1].pathId, 2);
    EXPECT_EQ(console.text, "");
}

TEST_F(IdentifyDiskTest, GranularityFollowsVersionAndFwugOnBothStacks) {
    struct Case {
        const char* drive;
        uint32_t expected;
    } cases[] = {
        {R"(, "version": "1.3.0", "fwug": 8)", 8},
        {R"(, "version": "1.2.1", "fwug": 8)", 1},
        {R"(, "version": "1.4.0", "fwug": 0)", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drive);
        load(bothStacks(c.drive));
        for (const qir::TargetDisk& disk : identifyBoth())
            EXPECT_EQ(disk.updateGranularity, c.expected);
    }
}

// The path byte is the path id's whole low byte: port 255 is not port 127.
TEST_F(IdentifyDiskTest, TheHighestPathByteReachesItsPort) {
    load(machineOf(rstPort(255), makerDrive("d")));
    qir::DiskList identified;
    EXPECT_EQ(qir::identifyRstDisk(record(qir::RstNonRaid, 255), identified), 0);
    EXPECT_EQ(qir::identifyRstDisk(record(qir::RstNonRaid, 127), identified), 5);
    ASSERT_EQ(identified.size(), 1u);
    EXPECT_EQ(identified[0].pathId, 255);
}

TEST_F(IdentifyDiskTest, InboxDiskThatCannotBeOpenedSaysSoInHex) {
    load(bothStacks(
        "", R"({"kind": "open", "path": "\\\\.\\PHYSICALDRIVE1", "error": 5},)"
            R"( {"kind": "open", "path": "\\\\.\\PHYSICALDRIVE1", "occurrence": 2, "error": 32})"));
    qir::DiskList identified;
    EXPECT_EQ(qir::identifyInboxDisk(record(qir::InboxNvme), identified), 2);
    EXPECT_EQ(qir::identifyInboxDisk(record(qir::InboxNvme), identified), 2);
    EXPECT_TRUE(identified.empty());
    qir::narrowOut() << uint32_t{26}; // the stream is back in decimal
    EXPECT_EQ(console.text, "  [ERROR] Failed to get disk handle: 0x5\n\n"
                            "  [ERROR] Failed to get disk handle: 0x20\n\n26");
}

TEST_F(IdentifyDiskTest, FailedRequestsAppendNothing) {
    load(bothStacks("", R"({"kind": "storage_query", "error": 1})"));
    qir::DiskList identified;
    EXPECT_EQ(qir::identifyInboxDisk(record(qir::InboxNvme), identified), 5);
    // Only the low byte of the path id addresses the port; port 3 has no drive.
    EXPECT_EQ(qir::identifyRstDisk(record(qir::RstNonRaid, 258), identified), 0);
    EXPECT_EQ(qir::identifyRstDisk(record(qir::RstNonRaid, 3), identified), 5);
    ASSERT_EQ(identified.size(), 1u);
    EXPECT_EQ(identified[0].pathId, 258);

    load(bothStacks("", "", R"(, "open_error": 5)"));
    EXPECT_EQ(qir::identifyRstDisk(record(qir::RstNonRaid, 2), identified), 8);
    EXPECT_EQ(identified.size(), 1u);
    EXPECT_EQ(console.text, "");
}

} // namespace
