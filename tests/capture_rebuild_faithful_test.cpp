// Every question a capture holds is answered as recorded by the machine rebuilt from it:
// small machines whose answers the drive and driver models would not give of themselves,
// each scanned with a capture, rebuilt and scanned again, with the same exit code, report,
// JSON and capture body, and updated as the original is; and the rebuilt machine runs on
// the recorded clock.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "capture/capture_file.h"
#include "sim/rebuild/machine_from_capture.h"
#include "sweep/rebuild_property.h"
#include "sweep/unseen_facts.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/sim_fixture.h"

namespace {

using qir::testing::inboxDisk;
using qir::testing::machineOf;
using qir::testing::makerDrive;

// An RST controller with drives on path ids 0, 1 and 2, the RAID set `members`, its volume
// and a pass-through disk on bus 2, whose drive `ptExtra` adds to.
std::string rstMachine(const std::string& members, const std::string& faults,
                       const std::string& ptExtra = "") {
    const std::string port =
        R"(\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b})";
    auto disk = [](const std::string& instance, const std::string& extra) {
        return R"({"class": "disk", "instance_id": "SCSI\\DISK&)" + instance +
               R"(", "parent_id": "PCI\\VEN_8086&DEV_2822\\3&1", "interface_path": "\\\\?\\scsi#)" +
               instance + R"(#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}")" + extra + "}";
    };
    return machineOf(
        R"({"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3&1", "interface_path": ")" +
            port +
            R"(", "driver_desc": "Intel(R) Chipset SATA/PCIe RST Premium Controller", "driver": "rst",)"
            R"( "rst": {"ports": [{"path_id": 0, "drive": "m0"}, {"path_id": 1, "drive": "m1"},)"
            R"( {"path_id": 2, "drive": "pt"}], "raid_members": )" +
            members + "}}," + disk("VEN_INTEL&PROD_RAID_1\\\\4&1", R"(, "device_number": 0)") +
            "," +
            disk("VEN_NVME&PROD_KORVANE\\\\4&2",
                 R"(, "device_number": 1, "location_info": "Bus Number 2, Target Id 0, LUN 0")"),
        makerDrive("m0") + "," + makerDrive("m1", R"(, "firmware": "VDL4J9QB")") + "," +
            makerDrive("pt", ptExtra),
        faults);
}

// A VROC controller whose port 1 has a volume of one drive (disk id `memberId`) and one
// drive outside it; its two volume disks each have the tool walk the ports again.
std::string vrocMachine(const std::string& faults, const std::string& memberId = "1") {
    auto volume = [](const std::string& n) {
        return R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_INTEL&PROD_RAID_1\\4&)" + n +
               R"(", "parent_id": "PCI\\VEN_8086&DEV_201D\\3&2", "interface_path": "\\\\?\\scsi#raid#4&)" +
               n + R"(#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", "device_number": )" + n + "}";
    };
    return machineOf(
        R"({"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_201D\\3&2",)"
        R"( "interface_path": "\\\\?\\pci#ven_8086&dev_201d#3&2#{2accfe60-c130-11d2-b082-00a0c91efb8b}",)"
        R"( "driver_desc": "Intel(R) Virtual RAID on CPU Controller", "driver": "vroc"},)" +
            volume("0") + "," + volume("1") + "," +
            R"({"class": "scsi_port", "scsi_port": 1, "driver": "vroc", "vroc": {)"
            R"("raid_volumes": [{"members": [{"drive": "v1", "disk_id": )" +
            memberId +
            R"(, "address": 7}]}],)"
            R"( "non_raid": [{"drive": "v2", "disk_id": 2, "address": 8}]}})",
        makerDrive("v1") + "," + makerDrive("v2", R"(, "fwug": 0)"), faults);
}

const char kRstPort[] =
    R"("\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}")";

struct Recorded {
    const char* name;
    std::string description;
    // The drive and driver models give every answer of themselves: the rebuilt machine
    // needs no answer kept as recorded.
    bool modelled = false;
};
void PrintTo(const Recorded& r, std::ostream* os) {
    *os << r.name;
}

const Recorded kRecorded[] = {
    {"csmi_success_with_no_drive",
     rstMachine("[0, 1]", R"({"kind": "csmi", "fields": {"bDriveCount": 0}})")},
    {"csmi_unknown_to_a_port_that_answers_rst",
     rstMachine("[0, 1]", R"({"kind": "csmi", "error": 1})")},
    {"vroc_count_unknown_to_a_port_that_answers_vroc",
     vrocMachine(R"({"kind": "vroc.identify", "occurrence": 1, "error": 1})")},
    {"rst_identify_unknown_to_a_port_that_answers_csmi",
     rstMachine("[0, 1]", R"({"kind": "rst.identify", "occurrence": 2, "error": 1})")},
    {"three_members_and_a_failed_repeat",
     rstMachine("[0, 1, 2]", R"({"kind": "csmi", "occurrence": 2, "error": 31})")},
    {"a_repeat_with_another_count",
     rstMachine("[0, 1, 2]", R"({"kind": "csmi", "occurrence": 2, "fields": {"bDriveCount": 1}})")},
    {"csmi_records_of_a_drive_that_does_not_identify",
     rstMachine("[0, 1]", R"({"kind": "rst.identify", "occurrence": 1, "error": 31})")},
    // The first walk of the ports finds nothing, so the tool walks them again for the
    // second volume disk, and is answered otherwise.
    {"vroc_counts_asked_again",
     vrocMachine(R"({"kind": "vroc.raid_count", "occurrence": 1, "fields": {"count": 0}},)"
                 R"({"kind": "vroc.non_raid_count", "occurrence": 1, "fields": {"count": 0}})")},
    {"rst_identify_failing_where_a_drive_is",
     rstMachine("[0, 1]", std::string(R"({"kind": "rst.identify", "occurrence": 1, "path": )") +
                              kRstPort + R"(, "error": 1117})")},
    // The description forms a model answer depends on: a property failing with an error
    // of its own, and a get-info reply at an offset of its own.
    {"parent_id_error",
     machineOf(inboxDisk(1, "a", R"(, "property_errors": {"parent_id": 13})") + "," +
                   inboxDisk(2, "b"),
               makerDrive("a") + "," + makerDrive("b"), ""),
     true},
    {"get_info_at_offset_64",
     machineOf(inboxDisk(1, "a"), makerDrive("a", R"(, "get_info": {"offset": 64})"), ""), true},
    // The update commits to the first slot the get-info records call writable: the rebuilt
    // drive holds every slot they name, writable or read-only as they say.
    {"get_info_naming_slots_beyond_its_record_count",
     machineOf(inboxDisk(1, "a"),
               makerDrive("a", R"(, "slots": {"count": 7, "slot1_read_only": true},)"
                               R"( "get_info": {"records": [{"number": 0, "read_only": 1},)"
                               R"( {"number": 6, "read_only": 0}, {"number": 2, "read_only": 0},)"
                               R"( {"number": 6, "read_only": 1}]})"),
               "")},
    {"get_info_calling_slot_1_writable_after_a_read_only_record",
     machineOf(inboxDisk(1, "a"),
               makerDrive("a", R"(, "slots": {"count": 3}, "get_info": {"records": [)"
                               R"({"number": 3, "read_only": 1}, {"number": 1, "read_only": 0}]})"),
               "")},
    // The member list fails, so the tool identifies the zeroed entry's disk id 0, which
    // the drive answers to: the update's pieces sent to that id reach it.
    {"vroc_drive_identified_by_an_id_no_list_shows",
     vrocMachine(R"({"kind": "vroc.member_list", "occurrence": "every", "error": 1})", "0")},
    {"inbox_disks_answering_one_device_number",
     machineOf(
         inboxDisk(1, "a") + "," + inboxDisk(2, "b"), makerDrive("a") + "," + makerDrive("b"),
         R"({"kind": "get_device_number", "path": "\\\\?\\scsi#disk&ven_nvme#5&2#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",)"
         R"( "fields": {"DeviceNumber": 1}})")},
};

class RebuiltAsRecorded : public ::testing::TestWithParam<Recorded> {};

TEST_P(RebuiltAsRecorded, AnswersEveryQuestionOfItsCaptureAsRecorded) {
    qir::testing::ScratchFolder folder("qir_rebuild_faithful");
    qir::sweep::RebuildVerdict v =
        qir::sweep::checkRebuild(GetParam().description, folder.path().string());
    EXPECT_TRUE(v.held) << v.why << "\n" << v.rebuilt;
    if (GetParam().modelled) {
        EXPECT_FALSE(nlohmann::json::parse(v.rebuilt).contains("answers")) << v.rebuilt;
    }
}

INSTANTIATE_TEST_SUITE_P(Capture, RebuiltAsRecorded, ::testing::ValuesIn(kRecorded),
                         [](const auto& info) { return std::string(info.param.name); });

// An image an earlier run left waiting for a restart is the rebuilt drive's own state, so
// that a restart of the rebuilt machine activates it as it would the recorded drive.
TEST(RebuiltAsRecorded, APendingImageActivatesAtTheRestartOfTheRebuiltMachine) {
    qir::testing::ScratchFolder folder("qir_rebuild_pending");
    qir::sweep::RebuildVerdict v = qir::sweep::checkRebuild(
        machineOf(inboxDisk(1, "a"),
                  makerDrive("a",
                             R"(, "slots": {"count": 2, "revisions": ["VDL7W2QA", "VDL9K2QC"],)"
                             R"( "pending": 2}, "firmware": "VDL7W2QA")"),
                  ""),
        folder.path().string());
    ASSERT_TRUE(v.held) << v.why;
    qir::testing::SimulatedMachine rebuilt(v.rebuilt);
    ASSERT_TRUE(rebuilt.loaded()) << rebuilt.error();
    ASSERT_EQ(rebuilt->drives.size(), 1u);
    EXPECT_EQ(rebuilt->drives[0].pendingSlot(), 2);
    rebuilt->reboot();
    EXPECT_EQ(rebuilt->drives[0].activeSlot(), 2);
    EXPECT_EQ(rebuilt->drives[0].slotRevision(2), "VDL9K2QC");
}

// The update of a rebuilt machine goes as the original's only once what no capture holds
// is carried over: each machine here parts without its fact alone.
struct Unseen {
    const char* fact;
    std::string description;
};
void PrintTo(const Unseen& u, std::ostream* os) {
    *os << u.fact;
}

const Unseen kUnseen[] = {
    // The RST route commits to slot 2, which the drive lacks though its FRMW names three.
    {"slots", rstMachine("[0, 1]", "", R"(, "identify_bytes": [{"offset": 260, "hex": "06"}])")},
    // The RST driver says that the activation needs a power cycle; the route returns 1602.
    {"activation",
     rstMachine("[0, 1]", "", R"(, "slots": {"count": 2}, "activation": "power_cycle")")},
    {"faults", machineOf(inboxDisk(1, "a"), makerDrive("a", R"(, "slots": {"count": 2})"),
                         R"({"kind": "inbox.download", "occurrence": 3, "return_code": 7})")},
    // Identify shows granularity 8; the drive takes pieces of 16 blocks only.
    {"granularity",
     machineOf(inboxDisk(1, "a"),
               makerDrive("a", R"(, "slots": {"count": 2}, "fwug": 16,)"
                               R"( "identify_bytes": [{"offset": 319, "hex": "08"}])"))},
    {"staged", machineOf(inboxDisk(1, "a"),
                         makerDrive("a", R"(, "slots": {"count": 2}, "detect_overlap": true,)"
                                         R"( "staged": [{"offset": 0, "size": 4096}])"))},
};

class RebuiltWithoutAFact : public ::testing::TestWithParam<Unseen> {};

TEST_P(RebuiltWithoutAFact, UpdatesAsTheOriginalOnlyWithTheFactCarriedOver) {
    qir::testing::ScratchFolder folder("qir_rebuild_unseen");
    std::vector<std::string> others;
    for (const std::string& fact : qir::sweep::unseenFactNames())
        if (fact != GetParam().fact)
            others.push_back(fact);
    qir::sweep::RebuildVerdict without =
        qir::sweep::checkRebuild(GetParam().description, folder.path().string(), others);
    EXPECT_TRUE(without.updateDiffered) << without.why;
    qir::sweep::RebuildVerdict with =
        qir::sweep::checkRebuild(GetParam().description, folder.path().string());
    EXPECT_TRUE(with.held) << with.why;
}

INSTANTIATE_TEST_SUITE_P(Capture, RebuiltWithoutAFact, ::testing::ValuesIn(kUnseen),
                         [](const auto& info) { return std::string(info.param.fact); });

// The update opens an inbox disk as \\.\PHYSICALDRIVEn: a rebuilt disk that answered
// another disk's number stands for that disk's drive, whatever its interface path says.
TEST(RebuiltWithoutAFact, ADriveStandsForTheOneItsDeviceNumberOpens) {
    qir::testing::SimulatedMachine original(machineOf(inboxDisk(0, "a") + "," + inboxDisk(1, "b"),
                                                      makerDrive("a") + "," + makerDrive("b")));
    qir::testing::SimulatedMachine rebuilt(machineOf(
        inboxDisk(0, "x", R"(, "device_number": 1)") + "," +
            R"({"class": "disk", "interface_path": "\\\\?\\scsi#disk&ven_nvme#5&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",)"
            R"( "driver": "inbox", "drive": "y"})",
        makerDrive("x") + "," + makerDrive("y")));
    ASSERT_TRUE(original.loaded() && rebuilt.loaded()) << original.error() << rebuilt.error();
    EXPECT_EQ(qir::sweep::originalDrives(*rebuilt, *original), (std::vector<int>{1, 1}));
}

// The clock: the machine's own from the header, else the UTC time of a schema 1 header.
TEST(RebuiltAsRecorded, RunsOnTheClockOfTheRecording) {
    const std::pair<const char*, const char*> headers[] = {
        {R"({"host": "h", "time": "2027-03-04T05:06:07Z", "local_time": "2027-03-04 06:06:07"})",
         "2027-03-04 06:06:07"},
        {R"({"host": "h", "time": "2027-03-04T05:06:07Z"})", "2027-03-04 05:06:07"},
    };
    for (const auto& [header, clock] : headers) {
        std::string text = std::string(R"({"format": "qir-capture", "schema": 1, "header": )") +
                           header + R"(, "calls": []})";
        std::string error;
        std::optional<qir::capture::Capture> capture = qir::capture::readWholeCapture(text, &error);
        ASSERT_TRUE(capture) << error;
        std::string machine = qir::sim::machineFromCapture(*capture, &error);
        ASSERT_FALSE(machine.empty()) << error;
        EXPECT_EQ(nlohmann::json::parse(machine)["clock"], clock) << machine;
    }
}

} // namespace
