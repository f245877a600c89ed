#include <gtest/gtest.h>

#include <string>

#include "tests/support/sim_fixture.h"

#include "discovery/rst_enumeration.h"

namespace {

const char kPortPath[] = "\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
const std::u16string kPortPathWide =
    u"\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}";

std::string storagePort(const std::string& path, const std::string& description,
                        const std::string& extra = "") {
    return R"({"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3&1",
               "interface_path": )" +
           qir::testing::jsonString(path) + R"(, "driver_desc": )" +
           qir::testing::jsonString(description) + R"(, "driver": "rst")" + extra + "}";
}

std::string machineWith(const std::string& devices) {
    return R"({"devices": [)" + devices + "]}";
}

TEST(FindRstController, TakesOnlyAnIntelControllerNamingRstOrRaid) {
    struct Case {
        const char* description;
        bool taken;
    };
    const Case cases[] = {
        {"Intel(R) Chipset SATA/PCIe RST Premium Controller", true},
        {"Intel(R) Volume Management Device NVMe RAID Controller", true},
        {"Intel(R) SATA AHCI Controller", false},
        {"intel(R) Chipset SATA/PCIe RST Premium Controller", false},
        {"Intel(R) Chipset SATA/PCIe RST Premium", false},
        {"Intel(R) Chipset SATA/PCIe rst Premium Controller", false},
    };
    for (const Case& c : cases) {
        QIR_LOAD_MACHINE(machine, machineWith(storagePort(kPortPath, c.description)));
        qir::RaidController controller;
        EXPECT_EQ(qir::findRstController(controller), c.taken) << c.description;
        if (c.taken) {
            // The path is tested upper-cased but kept as the platform reported it.
            EXPECT_EQ(controller.interfacePath, kPortPathWide);
            EXPECT_EQ(controller.instanceId, u"PCI\\VEN_8086&DEV_2822\\3&1");
        }
        EXPECT_EQ(machine->openHandles, 0) << c.description;
        EXPECT_EQ(machine->openDeviceInfoSets, 0) << c.description;
    }
}

TEST(FindRstController, NeedsTheIntelVendorTokenInThePortPath) {
    QIR_LOAD_MACHINE(machine,
                     machineWith(storagePort("\\\\?\\pci#ven_1022&dev_7905#3&1",
                                             "Intel(R) Chipset SATA/PCIe RST Premium Controller")));
    qir::RaidController controller;
    EXPECT_FALSE(qir::findRstController(controller));
    EXPECT_TRUE(controller.interfacePath.empty());
}

TEST(FindRstController, SkipsNonMatchingPortsAndStopsAtAMatchingPortThatCannotOpen) {
    const std::string ahci =
        storagePort("\\\\?\\pci#ven_8086&dev_a352#3&0", "Intel(R) SATA AHCI Controller");
    const std::string rst = storagePort(kPortPath, "Intel(R) RST Premium Controller");
    const std::string lockedRst =
        storagePort("\\\\?\\pci#ven_8086&dev_9a0b#3&9", "Intel(R) RST Premium Controller",
                    R"(, "open_error": 5)");
    {
        QIR_LOAD_MACHINE(machine, machineWith(ahci + "," + rst));
        qir::RaidController controller;
        EXPECT_TRUE(qir::findRstController(controller));
        EXPECT_EQ(controller.interfacePath, kPortPathWide);
    }
    {
        QIR_LOAD_MACHINE(machine, machineWith(lockedRst + "," + rst));
        qir::RaidController controller;
        EXPECT_FALSE(qir::findRstController(controller));
        EXPECT_EQ(machine->openHandles, 0);
        EXPECT_EQ(machine->openDeviceInfoSets, 0);
    }
}

TEST(FindRstController, FailsWhenTheInstanceIdentifierCannotBeRead) {
    QIR_LOAD_MACHINE(machine, machineWith(storagePort(kPortPath, "Intel(R) RST Controller",
                                                      R"(, "missing": ["instance_id"])")));
    qir::RaidController controller;
    EXPECT_FALSE(qir::findRstController(controller));
    EXPECT_EQ(machine->openHandles, 0);
}

std::string disk(const std::string& instance, const std::string& parent, int number,
                 const std::string& extra = "") {
    return R"({"class": "disk", "instance_id": )" + qir::testing::jsonString(instance) +
           R"(, "parent_id": )" + qir::testing::jsonString(parent) + R"(, "interface_path": )" +
           qir::testing::jsonString("\\\\?\\scsi#disk#" + std::to_string(number) +
                                    "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}") +
           R"(, "device_number": )" + std::to_string(number) + extra + "}";
}

const char kIntelParent[] = "PCI\\VEN_8086&DEV_2822\\3&1";

qir::RaidController rstController() {
    qir::RaidController controller;
    controller.interfacePath = u"\\\\?\\PCI#VEN_8086&DEV_2822#3&1";
    controller.instanceId = u"PCI\\VEN_8086&DEV_2822\\3&1";
    return controller;
}

TEST(EnumerateRstDisks, AVolumeAndTwoPassThroughDisksShareTheControllerPath) {
    QIR_LOAD_MACHINE(
        machine,
        machineWith(
            disk("SCSI\\DISK&VEN_INTEL&PROD_RAID1\\4&1", kIntelParent, 0) + "," +
            disk("SCSI\\DISK&VEN_NVME&PROD_KORVANE\\4&2", kIntelParent, 1,
                 R"(, "location_info": "Bus Number 3, Target Id 0, LUN 0")") +
            "," +
            disk("SCSI\\DISK&VEN_NVME&PROD_KORVANE\\4&3", kIntelParent, 2,
                 R"(, "missing": ["location_info"])") +
            // Not below an Intel parent: the inbox driver's disk, and a parent
            // whose vendor token is in lower case (parents are not upper-cased).
            "," + disk("SCSI\\DISK&VEN_NVME&PROD_KORVANE\\5&1", "PCI\\VEN_1D7A&DEV_0100\\4&1", 3) +
            "," + disk("SCSI\\DISK&VEN_NVME&PROD_KORVANE\\5&2", "pci\\ven_8086&dev_2822\\3&1", 4)));
    qir::DiskList found;
    EXPECT_EQ(qir::enumerateRstDisks(rstController(), found), 1);
    ASSERT_EQ(found.size(), 3u);
    const int64_t pathIds[] = {-1, 3, -1};
    const qir::DriverKind kinds[] = {qir::RstRaid, qir::RstNonRaid, qir::RstNonRaid};
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].devicePath, rstController().interfacePath) << i;
        EXPECT_EQ(found[i].pathId, pathIds[i]) << i;
        EXPECT_EQ(found[i].driverKind, kinds[i]) << i;
        EXPECT_TRUE(found[i].modelNumber.empty() && found[i].serialNumber.empty() &&
                    found[i].firmwareRevision.empty())
            << i;
    }
    EXPECT_EQ(machine->openHandles, 0);
    EXPECT_EQ(machine->openDeviceInfoSets, 0);
}

TEST(EnumerateRstDisks, BusNumberComesFromTheLocationText) {
    struct Case {
        const char* location; // nullptr: the property is absent
        int64_t pathId;
    };
    const Case cases[] = {
        {"Bus Number 3, Target Id 0, LUN 0", 3},
        {"Bus Number 12, Target Id 1, LUN 0", 12},
        {"Bus Number  7, Target Id 0, LUN 0", 7},
        {"Bus Number 0", 0},
        {nullptr, -1},
        {"PCI bus 0, device 23, function 0", -1},
        {"Bus Number x, Target Id 0, LUN 0", -1},
    };
    for (const Case& c : cases) {
        const std::string extra =
            c.location ? R"(, "location_info": )" + qir::testing::jsonString(c.location)
                       : std::string(R"(, "missing": ["location_info"])");
        QIR_LOAD_MACHINE(
            machine, machineWith(disk("SCSI\\DISK&VEN_NVME&PROD_X\\4&2", kIntelParent, 1, extra)));
        qir::DiskList found;
        qir::enumerateRstDisks(rstController(), found);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].pathId, c.pathId) << (c.location ? c.location : "(none)");
    }
}

TEST(EnumerateRstDisks, APassThroughDiskThatCannotOpenEndsTheListing) {
    QIR_LOAD_MACHINE(
        machine,
        machineWith(
            disk("SCSI\\DISK&VEN_NVME&PROD_X\\4&1", kIntelParent, 0,
                 R"(, "location_info": "Bus Number 1, Target Id 0, LUN 0")") +
            "," + disk("SCSI\\DISK&VEN_NVME&PROD_X\\4&2", kIntelParent, 1, R"(, "open_error": 5)") +
            "," +
            disk("SCSI\\DISK&VEN_NVME&PROD_X\\4&3", kIntelParent, 2,
                 R"(, "location_info": "Bus Number 2, Target Id 0, LUN 0")")));
    qir::DiskList found;
    EXPECT_EQ(qir::enumerateRstDisks(rstController(), found), 0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].pathId, 1);
    EXPECT_EQ(machine->openHandles, 0);
    EXPECT_EQ(machine->openDeviceInfoSets, 0);
}

TEST(EnumerateRstDisks, NoDiskBelowAnIntelParentAppendsNothing) {
    QIR_LOAD_MACHINE(machine, machineWith(disk("SCSI\\DISK&VEN_NVME&PROD_KORVANE\\5&1",
                                               "PCI\\VEN_1D7A&DEV_0100\\4&1", 0)));
    qir::DiskList found;
    EXPECT_EQ(qir::enumerateRstDisks(rstController(), found), 1);
    EXPECT_TRUE(found.empty());
}

} // namespace
