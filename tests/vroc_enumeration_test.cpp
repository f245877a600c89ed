#include <gtest/gtest.h>

#include "tests/support/sim_fixture.h"

#include <string>

#include "discovery/vroc_enumeration.h"
#include "tests/support/console_capture.h"

namespace {

std::string vrocDrive(const std::string& id, const std::string& extra = "") {
    return R"({"id": ")" + id + R"(", "serial": "SER-)" + id +
           R"(", "model": "KORVANE TX7Q3 1TB", "firmware": "VDL7W2QA")" + extra + "}";
}

std::string scsiPort(int n, const std::string& vroc, const std::string& extra = "") {
    return R"({"class": "scsi_port", "scsi_port": )" + std::to_string(n) +
           R"(, "driver": "vroc", "vroc": )" + vroc + extra + "}";
}

std::string machine(const std::string& ports, const std::string& drives,
                    const std::string& faults = "") {
    return R"({"devices": [)" + ports + R"(], "drives": [)" + drives + R"(], "faults": [)" +
           faults + "]}";
}

const char kTwoMemberVolume[] = R"({"raid_volumes": [{"members": [
    {"drive": "v1", "disk_id": 1, "address": "0x10000"},
    {"drive": "v2", "disk_id": 26, "address": "0x20000"}]}]})";

const char kThreeNonRaid[] = R"({"non_raid": [
    {"drive": "n1", "disk_id": 5, "address": 7},
    {"drive": "n2", "disk_id": 6, "address": 8},
    {"drive": "n3", "disk_id": 7, "address": 9}]})";

qir::TargetDisk foundRecord() {
    qir::TargetDisk found;
    found.devicePath = u"\\\\?\\pci#ven_8086&dev_a77f#3&1";
    found.driverKind = qir::RstNonRaid;
    found.pathId = 4;
    return found;
}

// Everything except the diagnostic last-error lines.
std::string withoutLastErrors(const std::string& text) {
    std::string kept;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        if (line.rfind("dwError: ", 0) != 0)
            kept += line;
        at = end;
    }
    return kept;
}

// One enumeration on the installed machine: the disks it identifies, the port it settles
// on and what it prints.
struct VrocScan {
    qir::DiskList identified;
    int32_t vrocPort = -1;
    std::string printed;
};

VrocScan scan() {
    qir::testing::ConsoleCapture console;
    VrocScan result;
    qir::enumerateVrocDisks(foundRecord(), result.identified, &result.vrocPort);
    result.printed = console.text;
    return result;
}

TEST(VrocEnumeration, NoVrocDriverPrintsNothingAndLeavesThePortUnset) {
    const std::string withoutDriver =
        R"({"class": "scsi_port", "scsi_port": 0, "driver": null},
           {"class": "scsi_port", "scsi_port": 1, "driver": "vroc", "vroc": {}})";
    for (const std::string& ports : {std::string(), withoutDriver}) {
        QIR_LOAD_MACHINE(m, machine(ports, ""));
        const VrocScan s = scan();
        EXPECT_EQ(s.vrocPort, -1);
        EXPECT_TRUE(s.identified.empty());
        EXPECT_EQ(s.printed, "");
        EXPECT_EQ(m->openHandles, 0);
    }
}

TEST(VrocEnumeration, AVolumeOnPortTwoListsItsMembersAndEndsTheScan) {
    QIR_LOAD_MACHINE(m, machine(scsiPort(2, kTwoMemberVolume) + "," + scsiPort(3, kThreeNonRaid),
                                vrocDrive("v1") + "," + vrocDrive("v2") + "," + vrocDrive("n1") +
                                    "," + vrocDrive("n2") + "," + vrocDrive("n3")));
    const VrocScan s = scan();
    EXPECT_EQ(s.vrocPort, 2);
    EXPECT_EQ(withoutLastErrors(s.printed), "Number of NVMe RAID volume member disks: 2\n"
                                            "\nSerial: SER-v1\nvrocDiskId:1\n"
                                            "RaidVROC\n"
                                            "\nSerial: SER-v2\nvrocDiskId:1a\n"
                                            "RaidVROC\n");
    ASSERT_EQ(s.identified.size(), 2u);
    const uint32_t ids[] = {1, 26};
    const int64_t addresses[] = {0x10000, 0x20000};
    const char16_t* serials[] = {u"SER-v1              ", u"SER-v2              "};
    for (size_t i = 0; i < 2; ++i) {
        const qir::TargetDisk& d = s.identified[i];
        EXPECT_EQ(d.driverKind, qir::VrocRaid);
        EXPECT_EQ(d.vrocDiskId, ids[i]);
        EXPECT_EQ(d.pathId, addresses[i]);
        EXPECT_EQ(d.serialNumber, serials[i]);
        EXPECT_EQ(d.firmwareRevision, u"VDL7W2QA");
        EXPECT_EQ(d.modelNumber.size(), 40u);
        EXPECT_EQ(d.modelNumber.substr(0, 17), u"KORVANE TX7Q3 1TB");
        // Carried over from the found record.
        EXPECT_EQ(d.devicePath, foundRecord().devicePath);
        EXPECT_EQ(d.updateGranularity, 1u);
    }
    EXPECT_EQ(m.traceLinesWith("Scsi3:"), 0);
    EXPECT_EQ(m->openHandles, 0);
}

TEST(VrocEnumeration, DisksOutsideAVolumeAreListedInEntryOrder) {
    QIR_LOAD_MACHINE(m, machine(scsiPort(0, kThreeNonRaid),
                                vrocDrive("n1") + "," + vrocDrive("n2") + "," + vrocDrive("n3")));
    const VrocScan s = scan();
    EXPECT_EQ(s.vrocPort, 0);
    EXPECT_EQ(withoutLastErrors(s.printed), "NonRaidVROC\nNonRaidVROC\nNonRaidVROC\n");
    ASSERT_EQ(s.identified.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(s.identified[i].driverKind, qir::VrocNonRaid);
        EXPECT_EQ(s.identified[i].vrocDiskId, 5 + i);
        EXPECT_EQ(s.identified[i].pathId, static_cast<int64_t>(7 + i));
        EXPECT_EQ(s.identified[i].serialNumber.substr(0, 6),
                  u"SER-n" + std::u16string(1, u'1' + i));
    }
}

// Identify's serial and revision bytes above 0x7F stand for themselves, not for the
// negative values a signed char would make of them.
TEST(VrocEnumeration, IdentifyTextIsWidenedWithoutASign) {
    QIR_LOAD_MACHINE(
        m, machine(scsiPort(0, kThreeNonRaid),
                   vrocDrive("n1", R"(, "identify_bytes": [{"offset": 4, "hex": "e9ff80"},)"
                                   R"( {"offset": 64, "hex": "c4"}])") +
                       "," + vrocDrive("n2") + "," + vrocDrive("n3")));
    const VrocScan s = scan();
    ASSERT_EQ(s.identified.size(), 3u);
    EXPECT_EQ(s.identified[0].serialNumber.substr(0, 5), u"\u00e9\u00ff\u0080-n");
    EXPECT_EQ(s.identified[0].firmwareRevision, u"\u00c4DL7W2QA");
}

TEST(VrocEnumeration, AVolumeWithoutMembersStillSetsThePort) {
    QIR_LOAD_MACHINE(m, machine(scsiPort(5, R"({"raid_volumes": [{"members": []}]})") + "," +
                                    scsiPort(6, kThreeNonRaid),
                                vrocDrive("n1") + "," + vrocDrive("n2") + "," + vrocDrive("n3")));
    const VrocScan s = scan();
    EXPECT_EQ(s.vrocPort, 5);
    EXPECT_TRUE(s.identified.empty());
    EXPECT_EQ(withoutLastErrors(s.printed), "Number of NVMe RAID volume member disks: 0\n");
}

TEST(VrocEnumeration, ANegativeNonRaidCountMeansNoDisks) {
    QIR_LOAD_MACHINE(m, machine(scsiPort(0, kThreeNonRaid),
                                vrocDrive("n1") + "," + vrocDrive("n2") + "," + vrocDrive("n3"),
                                R"({"kind": "vroc.non_raid_count", "fields": {"count": -1}})"));
    const VrocScan s = scan();
    EXPECT_EQ(s.vrocPort, -1);
    EXPECT_TRUE(s.identified.empty());
    EXPECT_EQ(s.printed, "");
}

TEST(VrocEnumeration, CountsNoRequestCanCarryEndTheScanWithoutReadingPastTheList) {
    struct Case {
        const char* fault;
        const char* printed;
    };
    const Case cases[] = {
        // 39,768,216 x 108 + 40 wraps to 72 in 32 bits.
        {R"({"kind": "vroc.volume_info", "fields": {"member_count": 39768216}})",
         "Number of NVMe RAID volume member disks: 39768216\n"},
        {R"({"kind": "vroc.volume_info", "fields": {"member_count": "0xFFFFFFFF"}})",
         "Number of NVMe RAID volume member disks: 4294967295\n"},
    };
    for (const Case& c : cases) {
        QIR_LOAD_MACHINE(m,
                         machine(scsiPort(1, kTwoMemberVolume) + "," + scsiPort(2, kThreeNonRaid),
                                 vrocDrive("v1") + "," + vrocDrive("v2") + "," + vrocDrive("n1") +
                                     "," + vrocDrive("n2") + "," + vrocDrive("n3"),
                                 c.fault));
        const VrocScan s = scan();
        EXPECT_EQ(s.vrocPort, -1) << c.fault;
        EXPECT_TRUE(s.identified.empty()) << c.fault;
        EXPECT_EQ(withoutLastErrors(s.printed), c.printed) << c.fault;
        EXPECT_EQ(m->openHandles, 0);
        EXPECT_EQ(m.traceLinesWith("Scsi2:"), 0) << c.fault;
    }
    // A non-RAID count whose list would exceed a 32-bit request.
    QIR_LOAD_MACHINE(
        m, machine(scsiPort(0, kThreeNonRaid),
                   vrocDrive("n1") + "," + vrocDrive("n2") + "," + vrocDrive("n3"),
                   R"({"kind": "vroc.non_raid_count", "fields": {"count": "0x7FFFFFFF"}})"));
    const VrocScan s = scan();
    EXPECT_EQ(s.vrocPort, -1);
    EXPECT_TRUE(s.identified.empty());
    EXPECT_EQ(s.printed, "");
}

TEST(VrocEnumeration, AFailedIdentifyLeavesTheFillAndStillAppends) {
    QIR_LOAD_MACHINE(m, machine(scsiPort(0, kThreeNonRaid),
                                vrocDrive("n1") + "," + vrocDrive("n2") + "," + vrocDrive("n3"),
                                R"({"kind": "vroc.identify", "occurrence": 2, "error": 31})"));
    const VrocScan s = scan();
    ASSERT_EQ(s.identified.size(), 3u);
    EXPECT_EQ(s.identified[1].firmwareRevision, u"UUUUUUUU");
    EXPECT_EQ(s.identified[1].serialNumber, std::u16string(20, u'U'));
    EXPECT_EQ(s.identified[2].firmwareRevision, u"VDL7W2QA");
    EXPECT_NE(s.printed.find("NonRaidVROC\nNonRaidVROC\ndwError: 31\nNonRaidVROC\n"),
              std::string::npos)
        << s.printed;
}

TEST(VrocEnumeration, TheSerialTextStopsAtItsZeroByteOrBeforeTheAddress) {
    const std::string longSerial(60, 'S');
    QIR_LOAD_MACHINE(m, machine(scsiPort(0, R"({"raid_volumes": [{"members": [
        {"drive": "v1", "disk_id": 1, "address": 1, "serial": ")" +
                                                longSerial + R"("},
        {"drive": "v2", "disk_id": 2, "address": 2, "serial": "AB"}]}]})"),
                                vrocDrive("v1") + "," + vrocDrive("v2")));
    const VrocScan s = scan();
    const std::string text = withoutLastErrors(s.printed);
    const size_t first = text.find("\nSerial: ");
    ASSERT_NE(first, std::string::npos);
    const size_t end = text.find('\n', first + 1);
    EXPECT_LE(end - (first + 9), 48u);
    EXPECT_NE(text.find("\nSerial: AB\nvrocDiskId:2\n"), std::string::npos) << text;
}

} // namespace
