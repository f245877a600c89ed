#include "tests/support/sim_fixture.h"

#include "discovery/nvme_enumeration.h"

namespace {

using namespace qir::testing;

class InboxEnumerationTest : public SimFixture {};

// Disk 4 with the given parent and hardware identifiers (JSON values).
std::string diskWith(const std::string& parent, const std::string& hardwareIds) {
    return R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME\\5&9", "parent_id": )" +
           parent + R"(, "hardware_ids": )" + hardwareIds +
           R"(, "interface_path": "\\\\?\\scsi#disk#5&9", "device_number": 4,)"
           R"( "driver": "inbox", "drive": "d"})";
}

TEST_F(InboxEnumerationTest, OnlyTheMakersNvmeDisksQualifyOnce) {
    const std::string nvme = R"(["SCSI\\DiskNVMe____KORVANE"])";
    const std::string maker = R"("PCI\\VEN_1D7A&DEV_0100\\4&1")";
    struct Case {
        std::string device;
        size_t found;
    } cases[] = {
        {diskWith(maker, nvme), 1},
        {diskWith(R"("PCI\\ven_1d7a&dev_0100\\4&1")", nvme), 0},
        {diskWith(R"("VEN_1D7A")", nvme), 1},
        {diskWith(R"("VEN_1D7")", nvme), 0},
        {diskWith(maker, R"(["SCSI\\Disknvme", "GenDisk"])"), 0},
        {diskWith(maker, R"(["GenDisk", "SCSI\\DiskNVMe", "SCSI\\DiskNVMe____KORVANE"])"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        load(machineOf(c.device, makerDrive("d")));
        qir::DiskList found;
        EXPECT_EQ(qir::enumerateNvmeDisks(found), 1);
        ASSERT_EQ(found.size(), c.found);
        EXPECT_EQ(machine->requestCount("get_device_number"), static_cast<int>(c.found));
        if (c.found) {
            EXPECT_EQ(found[0].devicePath, physicalDrive(4));
            EXPECT_EQ(found[0].pathId, -1);
            EXPECT_EQ(found[0].driverKind, qir::InboxNvme);
        }
    }
}

TEST_F(InboxEnumerationTest, DisksKeepSetOrderAndAnUnopenableOneEndsTheWalk) {
    load(machineOf(inboxDisk(3, "a") + "," + inboxDisk(1, "b") + "," +
                       inboxDisk(2, "c", R"(, "open_error": 5)") + "," + inboxDisk(5, "e"),
                   makerDrive("a") + "," + makerDrive("b") + "," + makerDrive("c") + "," +
                       makerDrive("e")));
    qir::DiskList found;
    EXPECT_EQ(qir::enumerateNvmeDisks(found), 0);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].devicePath, physicalDrive(3));
    EXPECT_EQ(found[1].devicePath, physicalDrive(1));
    EXPECT_EQ(console.text, "");
}

TEST_F(InboxEnumerationTest, DiskWithoutDeviceNumberIsDroppedAndTheWalkGoesOn) {
    load(machineOf(inboxDisk(1, "a") + "," + inboxDisk(2, "b"),
                   makerDrive("a") + "," + makerDrive("b"),
                   R"({"kind": "get_device_number", "error": 1})"));
    qir::DiskList found;
    EXPECT_EQ(qir::enumerateNvmeDisks(found), 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].devicePath, physicalDrive(2));
}

} // namespace
