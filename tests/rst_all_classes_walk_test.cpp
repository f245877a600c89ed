// The all-classes device set that gives RST pass-through disks their bus numbers is
// asked for once per enumeration and walked at most once, whatever the number of disks,
// and the records found are those a walk from the start for each disk finds.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "discovery/rst_enumeration.h"
#include "platform/forwarding_platform.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

namespace {

using namespace qir;
using platform::DeviceInfoData;
using platform::DeviceInterfaceData;
using platform::DevInfoSet;

// Forwards to the machine, counts the walk of sets of all classes and can hand that set
// out in reverse order, so that a disk's device is met before the disk is looked up.
class WalkWatcher : public platform::ForwardingPlatform {
  public:
    WalkWatcher(sim::SimMachine& m, bool reversed)
        : ForwardingPlatform(m), m_(m), reversed_(reversed) {}
    int allClassesSets = 0;
    int allClassesSteps = 0;

    DevInfoSet getClassDevs(const platform::Guid* g, uint32_t flags) override {
        DevInfoSet set = m_.getClassDevs(g, flags);
        if (!g && set != platform::kInvalidDevInfoSet) {
            ++allClassesSets;
            allClasses_.push_back(set);
        }
        return set;
    }
    bool enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) override {
        if (!isAllClasses(set))
            return m_.enumDeviceInfo(set, index, info);
        ++allClassesSteps;
        const auto count = static_cast<uint32_t>(m_.devices.size());
        if (reversed_ && index < count)
            index = count - 1 - index;
        return m_.enumDeviceInfo(set, index, info);
    }

  private:
    bool isAllClasses(DevInfoSet set) const {
        for (DevInfoSet s : allClasses_)
            if (s == set)
                return true;
        return false;
    }
    sim::SimMachine& m_;
    bool reversed_;
    std::vector<DevInfoSet> allClasses_;
};

std::string other(int n) {
    return R"({"class": "other", "instance_id": "ROOT\\X\\)" + std::to_string(n) + R"("})";
}

std::string passThrough(int n, const std::string& extra) {
    const std::string tag = "4&2&" + std::to_string(n);
    return R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME&PROD_K\\)" + tag +
           R"(", "parent_id": "PCI\\VEN_8086&DEV_2822\\3&1", "interface_path": "\\\\?\\scsi#disk#)" +
           tag + R"(#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", "device_number": )" +
           std::to_string(n) + extra + "}";
}

const char kPort[] =
    R"({"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3&1",)"
    R"( "interface_path": "\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}",)"
    R"( "driver_desc": "Intel(R) RST Premium Controller", "driver": "rst"})";

std::string location(const std::string& text) {
    return R"(, "location_info": ")" + text + "\"";
}

// Disks whose location text gives a bus number, gives none, or is missing, with devices
// of other classes and a disk of another maker between them.
std::string machine(const std::string& faults = "") {
    const std::string devices =
        std::string(kPort) + "," + other(0) + "," +
        passThrough(1, location("Bus Number 3, Target Id 0, LUN 0")) + "," + other(1) + "," +
        passThrough(2, R"(, "missing": ["location_info"])") + "," +
        passThrough(3, location("PCI bus 0, device 23, function 0")) + "," + other(2) + "," +
        R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME\\9", "parent_id": "PCI\\VEN_1D7A\\1",)"
        R"( "interface_path": "\\\\?\\scsi#disk#9", "device_number": 9,)"
        R"( "location_info": "Bus Number 8, Target Id 0, LUN 0"})" +
        "," + passThrough(4, location("Bus Number 12, Target Id 0, LUN 0")) + "," + other(3);
    return R"({"devices": [)" + devices + "]" + faults + "}";
}

struct Found {
    int result = -1;
    std::vector<int64_t> pathIds;
    WalkWatcher* watcher = nullptr;
};

std::vector<int64_t> pathIdsOf(const DiskList& disks) {
    std::vector<int64_t> ids;
    for (const TargetDisk& d : disks) {
        EXPECT_EQ(d.driverKind, RstNonRaid);
        ids.push_back(d.pathId);
    }
    return ids;
}

class RstAllClassesWalkTest : public ::testing::Test {
  protected:
    void load(const std::string& description, bool reversed) {
        std::string error;
        machine_ = sim::loadMachine(description, &error);
        ASSERT_TRUE(machine_) << error;
        watcher_ = std::make_unique<WalkWatcher>(*machine_, reversed);
        platform::setPlatform(watcher_.get());
    }
    void TearDown() override { platform::setPlatform(nullptr); }
    int enumerate(DiskList& disks) {
        RaidController controller;
        EXPECT_TRUE(findRstController(controller));
        return enumerateRstDisks(controller, disks);
    }
    std::unique_ptr<sim::SimMachine> machine_;
    std::unique_ptr<WalkWatcher> watcher_;
};

TEST_F(RstAllClassesWalkTest, BusNumbersAreFoundWithOneSetAndOneWalk) {
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "set in reverse order" : "set in tree order");
        load(machine(), reversed);
        DiskList disks;
        EXPECT_EQ(enumerate(disks), 1);
        EXPECT_EQ(pathIdsOf(disks), (std::vector<int64_t>{3, -1, -1, 12}));
        EXPECT_EQ(watcher_->allClassesSets, 1);
        // Every device once, and the end of the set at most once.
        EXPECT_LE(watcher_->allClassesSteps, static_cast<int>(machine_->devices.size()) + 1);
        EXPECT_EQ(machine_->openDeviceInfoSets, 0);
        EXPECT_EQ(machine_->openHandles, 0);
    }
}

TEST_F(RstAllClassesWalkTest, ASetThatCannotBeHadIsAskedForAgainAtTheNextDisk) {
    // The storage port set, the disk set, then the all-classes set of the first disk.
    load(machine(R"(, "faults": [{"kind": "get_class_devs", "occurrence": 3, "error": 8}])"),
         false);
    DiskList disks;
    EXPECT_EQ(enumerate(disks), 1);
    EXPECT_EQ(pathIdsOf(disks), (std::vector<int64_t>{-1, -1, -1, 12}));
    EXPECT_EQ(watcher_->allClassesSets, 1);
    EXPECT_EQ(machine_->openDeviceInfoSets, 0);
}

TEST_F(RstAllClassesWalkTest, TheSetIsReleasedWhenADiskThatCannotOpenEndsTheListing) {
    std::string description = machine();
    const std::string lastDisk = R"("device_number": 4)";
    description.replace(description.find(lastDisk), lastDisk.size(),
                        lastDisk + R"(, "open_error": 5)");
    load(description, false);
    DiskList disks;
    EXPECT_EQ(enumerate(disks), 0);
    EXPECT_EQ(pathIdsOf(disks), (std::vector<int64_t>{3, -1, -1}));
    EXPECT_EQ(watcher_->allClassesSets, 1);
    EXPECT_EQ(machine_->openDeviceInfoSets, 0);
    EXPECT_EQ(machine_->openHandles, 0);
}

TEST_F(RstAllClassesWalkTest, ADeviceOutsideTheSetLeavesTheBusNumberUntouched) {
    load(machine(), false);
    int64_t busNumber = 77;
    readBusNumber(9999, &busNumber);
    EXPECT_EQ(busNumber, 77);
    readBusNumber(3, &busNumber); // the first pass-through disk is the third device
    EXPECT_EQ(busNumber, 3);
    EXPECT_EQ(machine_->openDeviceInfoSets, 0);
}

} // namespace
