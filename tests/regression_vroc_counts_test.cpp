// Found by fuzzing: a VROC driver reporting a disk count that a request can still carry
// but no machine has made the enumeration allocate gigabytes and send one identify
// request per claimed disk, appending a record for each, until memory ran out.
#include <gtest/gtest.h>

#include "tests/support/sim_fixture.h"

#if QIR_RAID_SIM_AVAILABLE

#include <string>

#include "discovery/vroc_enumeration.h"
#include "tests/support/console_capture.h"

namespace {

std::string description(const std::string& fault) {
    return R"({"drives": [{"id": "d1", "serial": "S1", "model": "KORVANE TX7Q3 1TB",
                           "firmware": "VDL7W2QA"}],
               "devices": [{"class": "scsi_port", "scsi_port": 0, "driver": "vroc",
                            "vroc": {"raid_volumes": [{"members": [
                                       {"drive": "d1", "disk_id": 1, "address": 0}]}]}},
                           {"class": "scsi_port", "scsi_port": 1, "driver": "vroc",
                            "vroc": {"non_raid": [{"drive": "d1", "disk_id": 1, "address": 0}]}}],
               "faults": [)" +
           fault + "]}";
}

TEST(RegressionVrocCounts, CountsNoMachineHasAreRefusedBeforeAnyListOrIdentify) {
    const char* const faults[] = {
        // Fits a 32-bit request (100,000 x 108 + 40 bytes) but not any real platform.
        R"({"kind": "vroc.volume_info", "fields": {"member_count": 100000}})",
        R"({"kind": "vroc.volume_info", "fields": {"member_count": 257}})",
        R"({"kind": "vroc.raid_count", "fields": {"count": 0}},
           {"kind": "vroc.non_raid_count", "occurrence": "every", "fields": {"count": 1000000}})",
    };
    for (const char* fault : faults) {
        qir::testing::SimulatedMachine m(description(fault));
        ASSERT_TRUE(m.loaded()) << m.error();
        qir::testing::ConsoleCapture console;
        qir::TargetDisk found;
        found.devicePath = u"\\\\?\\pci#ven_8086&dev_a77f#3&1";
        found.driverKind = qir::RstNonRaid;
        qir::DiskList identified;
        int32_t vrocPort = -1;
        qir::enumerateVrocDisks(found, identified, &vrocPort);
        EXPECT_TRUE(identified.empty()) << fault;
        EXPECT_EQ(m.traceLinesWith("vroc.identify"), 0) << fault;
        EXPECT_EQ(m->openHandles, 0) << fault;
    }
}

TEST(RegressionVrocCounts, TheLargestPlausibleCountIsStillListed) {
    qir::testing::SimulatedMachine m(
        description(R"({"kind": "vroc.volume_info", "fields": {"member_count": 256}})"));
    ASSERT_TRUE(m.loaded()) << m.error();
    qir::testing::ConsoleCapture console;
    qir::DiskList identified;
    int32_t vrocPort = -1;
    qir::enumerateVrocDisks(qir::TargetDisk{}, identified, &vrocPort);
    EXPECT_EQ(identified.size(), 256u);
    EXPECT_EQ(vrocPort, 0);
}

} // namespace

#endif
