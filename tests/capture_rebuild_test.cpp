// A machine rebuilt from a capture: the tool's whole update run on it prints, logs and
// asks what it does on the machine that was recorded; each form of the description a
// capture grows it by answers as recorded; and a capture that cannot be rebuilt is
// refused with the entry named.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "app/main_routine.h"
#include "capture/capture_file.h"
#include "capture/replay_platform.h"
#include "platform/text_encoding.h"
#include "sim/rebuild/machine_from_capture.h"
#include "tests/support/capture_support.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/sim_fixture.h"

namespace {

using namespace qir;
using qir::testing::exampleMachine;
using qir::testing::recordRun;

struct Outcome {
    int result = 0;
    std::string out;
    std::string log;
    std::string trace;
};

// The tool's update run, `/s /log=`, on a freshly loaded machine.
Outcome updateRun(const std::string& description) {
    Outcome o;
    qir::testing::SimulatedMachine machine(description);
    EXPECT_TRUE(machine.loaded()) << machine.error();
    if (!machine)
        return o;
    qir::testing::ScratchFolder folder("qir_capture_rebuild");
    std::u16string log = qir::text::fromUtf8(folder.file("r.log"));
    std::u16string logArg = u"/log=" + log;
    const char16_t* argv[] = {u"qir.exe", u"/s", logArg.c_str(), nullptr};
    qir::testing::ConsoleCapture console;
    o.result = mainRoutine(3, argv);
    o.out = console.take();
    // The scratch folder's name is in the report's command line; the rest is the run's.
    std::ifstream in(folder.file("r.log"), std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Input Command :", 0) != 0)
            o.log += line + "\n";
    for (const std::string& line : machine->trace())
        o.trace += line + "\n";
    return o;
}

std::string rebuilt(const std::string& description, std::string* error,
                    const DiskUpdaterOps& ops = qir::testing::discoveryOnly()) {
    qir::testing::SimulatedMachine machine(description);
    EXPECT_TRUE(machine.loaded()) << machine.error();
    std::string text = capture::captureText(qir::testing::kTestHeader, recordRun(*machine, ops));
    std::optional<capture::CallList> calls = capture::readCapture(text, error);
    return calls ? sim::machineFromCapture(*calls, error) : std::string();
}

// No answer of a look at a machine tells that a drive activates its firmware only after a
// power cycle: the rebuilt drive takes the model's reset, and is held to that.
std::string activatingAtReset(std::string description) {
    const std::string powerCycle = "\"power_cycle\"";
    for (size_t at; (at = description.find(powerCycle)) != std::string::npos;)
        description.replace(at, powerCycle.size(), "\"reset\"");
    return description;
}

void expectSameUpdateRun(const std::string& description,
                         const DiskUpdaterOps& ops = qir::testing::discoveryOnly()) {
    std::string error;
    std::string machine = rebuilt(description, &error, ops);
    ASSERT_FALSE(machine.empty()) << error;
    Outcome original = updateRun(activatingAtReset(description));
    Outcome again = updateRun(machine);
    EXPECT_EQ(again.result, original.result);
    EXPECT_EQ(again.out, original.out);
    EXPECT_EQ(again.log, original.log);
    EXPECT_EQ(again.trace, original.trace);
}

class RebuiltExampleMachine : public ::testing::TestWithParam<const char*> {};

TEST_P(RebuiltExampleMachine, RunsTheUpdateAsTheRecordedMachineDoes) {
    expectSameUpdateRun(exampleMachine(GetParam()));
}

// Recorded again, the rebuilt machine gives the capture it was rebuilt from, call for
// call, answers included.
TEST_P(RebuiltExampleMachine, IsRecordedAsTheOriginalWas) {
    qir::testing::SimulatedMachine original(exampleMachine(GetParam()));
    std::string first = capture::captureText(qir::testing::kTestHeader, recordRun(*original));
    std::string error;
    std::optional<capture::CallList> calls = capture::readCapture(first, &error);
    ASSERT_TRUE(calls) << error;
    std::string machine = sim::machineFromCapture(*calls, &error);
    ASSERT_FALSE(machine.empty()) << error;
    qir::testing::SimulatedMachine again(machine);
    ASSERT_TRUE(again.loaded()) << again.error();
    EXPECT_EQ(capture::captureText(qir::testing::kTestHeader, recordRun(*again)), first);
}

INSTANTIATE_TEST_SUITE_P(Capture, RebuiltExampleMachine,
                         ::testing::Values("default", "vroc_raid", "vroc_non_raid", "empty"));

using qir::testing::inboxDisk;
using qir::testing::machineOf;
using qir::testing::makerDrive;

struct MadeMachine {
    const char* name;
    std::string description;
    bool wholeRun; // recorded over the whole update, downloads and all
};
void PrintTo(const MadeMachine& m, std::ostream* os) {
    *os << m.name;
}

std::string rstDisk(const std::string& instance, const std::string& extra) {
    return R"({"class": "disk", "instance_id": "SCSI\\DISK&)" + instance +
           R"(", "parent_id": "PCI\\VEN_8086&DEV_2822\\3&1", "hardware_ids": ["GenDisk"],)" +
           R"( "interface_path": "\\\\?\\scsi#)" + instance +
           R"(#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}")" + extra + "}";
}

const MadeMachine kMadeMachines[] = {
    {"odd_inbox_disks",
     machineOf(R"({"class": "other", "location_info": "Bus Number 9"},)" + inboxDisk(1, "a") + "," +
                   inboxDisk(2, "b", R"(, "missing": ["parent_id"])") + "," +
                   inboxDisk(7, "f", R"(, "property_errors": {"hardware_ids": 13})") + "," +
                   R"({"class": "disk", "parent_id": "PCI\\VEN_1D7A&DEV_0100\\4&3",)"
                   R"( "hardware_ids": ["SCSI\\DiskNVMe____X"], "instance_id": "X\\3",)"
                   R"( "interface_detail_error": 13},)" +
                   inboxDisk(4, "c") + "," + inboxDisk(5, "d") + "," +
                   inboxDisk(6, "e", R"(, "open_error": 5)"),
               makerDrive("a") + "," + makerDrive("b") + "," +
                   makerDrive("c", R"(, "serial": "KV\u00e9\u0001 7")") + "," + makerDrive("d") +
                   "," + makerDrive("e") + "," + makerDrive("f"),
               R"({"kind": "storage_query", "path": "\\\\.\\PHYSICALDRIVE5", "error": 31})"),
     false},
    {"rst_two_volumes_three_members_and_pass_through",
     machineOf(
         R"({"class": "other"}, {"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3&1",)"
         R"( "interface_path": "\\\\?\\pci#ven_8086#{2accfe60-c130-11d2-b082-00a0c91efb8b}",)"
         R"( "driver_desc": "Intel(R) Chipset SATA/PCIe RST Premium Controller", "driver": "rst",)"
         R"( "rst": {"ports": [{"path_id": 0, "drive": "m0"}, {"path_id": 1, "drive": "m1"},)"
         R"( {"path_id": 2, "drive": "m2"}, {"path_id": 5, "drive": "pt"}], "raid_members": [2, 0, 1]}},)" +
             rstDisk("VEN_INTEL&PROD_RAID_5\\\\4&1", R"(, "device_number": 0)") + "," +
             rstDisk("VEN_INTEL&PROD_RAID_1\\\\4&3", R"(, "device_number": 2)") + "," +
             R"({"class": "other", "location_info": "Bus Number 7"},)" +
             rstDisk(
                 "VEN_NVME&PROD_KORVANE\\\\4&2",
                 R"(, "device_number": 1, "location_info": "Bus Number 5, Target Id 0, LUN 0")"),
         makerDrive("m0") + "," + makerDrive("m1", R"(, "firmware": "VDL4J9QB")") + "," +
             makerDrive("m2", R"(, "firmware": "VDL1OLD1")") + "," + makerDrive("pt")),
     false},
    {"vroc_odd_entries",
     machineOf(R"({"class": "scsi_port", "scsi_port": 3, "driver": "vroc", "vroc": {"non_raid": [)"
               R"({"drive": "v1", "disk_id": 4, "address": 9, "serial": "S\u00ff1"},)"
               R"({"disk_id": 5, "address": 10, "model": "NO DRIVE", "serial": "S5"},)"
               R"({"drive": "v2", "disk_id": 6, "address": 11}]}})",
               makerDrive("v1") + "," + makerDrive("v2", R"(, "fwug": 0)")),
     false},
    {"inbox_get_info_of_its_own",
     machineOf(
         inboxDisk(1, "a"),
         makerDrive("a", R"(, "slots": {"count": 3, "slot1_read_only": true},)"
                         R"( "get_info": {"offset": 64, "records": [{"number": 1, "read_only": 1},)"
                         R"( {"number": 3, "read_only": 0}, {"number": 2, "read_only": 0}]})")),
     true},
};

class RebuiltMadeMachine : public ::testing::TestWithParam<MadeMachine> {};

TEST_P(RebuiltMadeMachine, RunsTheUpdateAsTheRecordedMachineDoes) {
    expectSameUpdateRun(GetParam().description, GetParam().wholeRun
                                                    ? productionDiskUpdaterOps()
                                                    : qir::testing::discoveryOnly());
}

INSTANTIATE_TEST_SUITE_P(Capture, RebuiltMadeMachine, ::testing::ValuesIn(kMadeMachines),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows hands out the value of a destroyed device information set or a closed handle
// again (Wine does it at every turn): a capture in which each new set and handle takes the
// lowest value not in use rebuilds to the same machine.
TEST(CaptureRebuild, TakesAReusedSetOrHandleValueForANewOne) {
    const std::string description = exampleMachine("default");
    qir::testing::SimulatedMachine machine(description);
    ASSERT_TRUE(machine.loaded()) << machine.error();
    capture::CallList calls = recordRun(*machine);
    std::map<int64_t, int64_t> sets, handles; // the machine's value -> the reused one
    auto reuse = [](std::map<int64_t, int64_t>& live, int64_t value) {
        int64_t lowest = 1;
        for (bool taken = true; taken; ++lowest) {
            taken = false;
            for (const auto& [from, to] : live)
                taken = taken || to == lowest;
            if (!taken)
                break;
        }
        return live[value] = lowest;
    };
    for (capture::CapturedCall& c : calls) {
        if (c.op == capture::Op::GetClassDevs) {
            c.result = reuse(sets, c.result);
        } else if (c.op == capture::Op::CreateFile && c.ok) {
            c.result = reuse(handles, c.result);
        } else if (c.op == capture::Op::DestroyDeviceInfoList || c.op == capture::Op::CloseHandle) {
            std::map<int64_t, int64_t>& live = c.op == capture::Op::CloseHandle ? handles : sets;
            const int64_t value = live[c.target];
            live.erase(c.target);
            c.target = value;
        } else if (c.op != capture::Op::GetLastError && c.op != capture::Op::MessageBox &&
                   c.op != capture::Op::GetModuleHandle && c.op != capture::Op::GetCommandLine &&
                   c.op != capture::Op::FrameworkStartup && c.op != capture::Op::LocalTime) {
            std::map<int64_t, int64_t>& live =
                c.op == capture::Op::DeviceIoControl ? handles : sets;
            c.target = live[c.target];
        }
    }
    std::string error;
    const std::string machineText = sim::machineFromCapture(calls, &error);
    ASSERT_FALSE(machineText.empty()) << error;
    EXPECT_EQ(updateRun(machineText).out, updateRun(rebuilt(description, &error)).out);
}

struct Unusable {
    const char* calls;
    const char* reason;
};

const Unusable kUnusable[] = {
    {R"({"op": "get_class_devs", "class": null, "flags": "0x6", "set": 7},
        {"op": "enum_device_info", "set": 7, "index": 0, "ok": false, "error": 5})",
     "calls[1]: the device walk failed with error 5"},
    {R"({"op": "enum_device_info", "set": 9, "index": 0, "ok": false, "error": 259})",
     "calls[0]: a device set the capture never opened"},
    {R"({"op": "get_device_property", "set": 7, "dev_inst": 1,
         "key": "{00000000-0000-0000-0000-000000000000} 2", "size": 0, "buffer": false,
         "ok": false, "error": 1168})",
     "calls[0]: a device property the simulated machine does not hold"},
    {R"({"op": "device_io_control", "handle": 256, "code": "0x2D1080", "in_size": 0, "in": null,
         "out_size": 12, "ok": true, "returned": 12, "out": "070000000100000000000000"})",
     "calls[0]: a request on a handle the capture never opened"},
    {R"({"op": "create_file", "path": "\\\\.\\PHYSICALDRIVE7", "access": "0xC0000000", "share": 3,
         "disposition": 3, "flags": "0x0", "handle": 256})",
     "calls[0]: an open of a path no captured device answers to succeeded"},
};

TEST(CaptureRebuild, RefusesACaptureItCannotUseAndNamesTheEntry) {
    for (const Unusable& u : kUnusable) {
        std::string text = std::string(R"({"format": "qir-capture", "schema": 1, "header": {},)") +
                           R"( "calls": [)" + u.calls + "]}";
        std::string error;
        std::optional<capture::CallList> calls = capture::readCapture(text, &error);
        ASSERT_TRUE(calls) << error;
        EXPECT_EQ(sim::machineFromCapture(*calls, &error), "");
        EXPECT_NE(error.find(u.reason), std::string::npos) << error;
    }
}

} // namespace
