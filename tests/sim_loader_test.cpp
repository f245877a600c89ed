// Machine descriptions the loader must refuse, and what it builds from good ones.
#include <fstream>

#include "tests/support/sim_test_support.h"

namespace {

using namespace qir;

struct BadCase {
    const char* name;
    const char* json;
    const char* mentions;
};

class SimLoaderRefuses : public ::testing::TestWithParam<BadCase> {};

TEST_P(SimLoaderRefuses, WithAClearError) {
    const BadCase& c = GetParam();
    std::string error;
    EXPECT_EQ(sim::loadMachine(c.json, &error), nullptr);
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimLoaderRefuses,
    ::testing::Values(
        BadCase{"bad_json", "{\"devices\": [", "not valid JSON"},
        BadCase{"not_an_object", "[]", "must be an object"},
        BadCase{"unknown_top_key", R"({"devcies": []})", "unknown key \"devcies\""},
        BadCase{"unknown_device_key", R"({"devices": [{"class": "disk", "colour": 1}]})",
                "devices[0]: unknown key \"colour\""},
        BadCase{"unknown_drive_key", R"({"drives": [{"id": "a", "speed": 3}]})",
                "unknown key \"speed\""},
        BadCase{"missing_drive",
                R"({"devices": [{"class": "disk", "driver": "inbox", "drive": "nope"}]})",
                "no drive with id \"nope\""},
        BadCase{"duplicate_device_number",
                R"({"devices": [{"class": "disk", "device_number": 1},
                                {"class": "disk", "device_number": 1}]})",
                "devices[1]: duplicate device number 1"},
        BadCase{"duplicate_drive", R"({"drives": [{"id": "a"}, {"id": "a"}]})",
                "duplicate drive id"},
        BadCase{"bad_class", R"({"devices": [{"class": "printer"}]})", "devices[0].class"},
        BadCase{"bad_number", R"({"devices": [{"class": "disk", "device_number": "0xZZ"}]})",
                "is not a number"},
        BadCase{"bad_clock", R"({"clock": "yesterday"})", "clock"},
        BadCase{"update_running_not_a_flag", R"({"update_running": "yes"})",
                "update_running: must be true or false"},
        BadCase{"unknown_power_key", R"({"power": {"ac": "online"}})", "power: unknown key \"ac\""},
        BadCase{"bad_ac_line", R"({"power": {"ac_line": "mains"}})", "power.ac_line: expected"},
        BadCase{"battery_percent_out_of_range",
                R"({"power": {"battery_present": true, "battery_percent": 101}})",
                "power.battery_percent: 101 is out of range 0..100"},
        BadCase{"charge_without_battery", R"({"power": {"battery_percent": 50}})",
                "power.battery_percent: only a battery that is present has a charge"},
        BadCase{"bad_fault_kind", R"({"faults": [{"kind": "inbox.explode", "error": 1}]})",
                "unknown request kind"},
        BadCase{"two_effects",
                R"({"faults": [{"kind": "inbox.download", "error": 1, "return_code": 2}]})",
                "exactly one"},
        BadCase{"bad_fault_field",
                R"({"faults": [{"kind": "inbox.get_info", "fields": {"SlotCuont": 1}}]})",
                "not a reply field"},
        BadCase{"return_code_without_header",
                R"({"faults": [{"kind": "storage_query", "return_code": 1}]})", "no ReturnCode"},
        BadCase{"completion_outside_vroc",
                R"({"faults": [{"kind": "rst.download", "completion_status": 1}]})",
                "VROC pass-through"},
        BadCase{"rst_member_missing_drive",
                R"({"devices": [{"class": "storage_port", "driver": "rst",
                                 "rst": {"ports": [{"path_id": 0, "drive": "x"}]}}]})",
                "no drive with id \"x\""},
        BadCase{"scsi_port_without_number", R"({"devices": [{"class": "scsi_port"}]})",
                "scsi_port"},
        BadCase{"pending_slot_out_of_range",
                R"({"drives": [{"id": "a", "slots": {"count": 2, "pending": 3}}]})",
                "slots.pending"},
        BadCase{"staged_past_the_image",
                R"({"drives": [{"id": "a", "image_size": 4096,
                                "staged": [{"offset": 0, "size": 8192}]}]})",
                "staged[0].size"},
        BadCase{"bad_interrupt",
                R"({"faults": [{"kind": "inbox.download", "interrupt": "unplug"}]})",
                "expected \"kill\" or \"power_cut\""},
        BadCase{"active_slot_out_of_range",
                R"({"drives": [{"id": "a", "slots": {"count": 2, "active": 3}}]})", "out of range"},
        BadCase{"answer_without_path", R"({"answers": [{"request": "csmi"}]})",
                "answers[0].path: needs the path"},
        BadCase{"answer_of_no_kind", R"({"answers": [{"path": "p", "request": "csmii"}]})",
                "answers[0].request: needs a request kind"},
        BadCase{"answer_to_a_download",
                R"({"answers": [{"path": "p", "request": "inbox.download"}]})",
                "answers[0].request: a firmware download or commit"},
        BadCase{"answer_of_odd_bytes",
                R"({"answers": [{"path": "p", "request": "other", "out": "00*"}]})",
                "answers[0].out: not a hexadecimal byte string"},
        BadCase{"answer_with_unknown_key",
                R"({"answers": [{"path": "p", "request": "other", "ok": true}]})",
                "answers[0]: unknown key \"ok\""},
        BadCase{"answer_of_no_error",
                R"({"answers": [{"path": "p", "request": "other", "error": 0}]})",
                "answers[0].error"},
        BadCase{
            "two_answers_to_one_request",
            R"({"answers": [{"path": "p", "request": "csmi"}, {"path": "P", "request": "csmi"}]})",
            "answers[1]: a second answer to the same request"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimLoader, UnreadableFileIsAnError) {
    std::string error;
    EXPECT_EQ(sim::loadMachineFile("/nonexistent/machine.json", &error), nullptr);
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}

TEST(SimLoader, BuildsSwitchesClockAndDrives) {
    auto m = qir::testing::load(R"({"clock": "2027-01-02 03:04:05", "command_line": "qir.exe /s",
        "module_handle_fails": true,
        "drives": [{"id": "a", "firmware": "VDL4J9QB",
                    "slots": {"count": 3, "slot1_read_only": true, "active": 2}}]})");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->clock.year, 2027);
    EXPECT_EQ(m->clock.second, 5);
    EXPECT_EQ(m->commandLine, u"qir.exe /s");
    EXPECT_TRUE(m->moduleHandleFails);
    const sim::NvmeDrive* d = m->drive("a");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->slotCount(), 3);
    EXPECT_EQ(d->activeSlot(), 2);
    EXPECT_EQ(d->slotRevision(2), "VDL4J9QB");
    EXPECT_EQ(d->slotRevision(1), "");
    EXPECT_TRUE(d->slotReadOnly(1));
}

// What GetSystemPowerStatus answers on the machine, as Windows would fill it.
TEST(SimLoader, PowerSourceAndAnotherUpdate) {
    auto plain = qir::testing::load("{}");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->updateRunning);
    platform::PowerStatus p;
    ASSERT_TRUE(plain->getSystemPowerStatus(&p));
    EXPECT_EQ(p.acLineStatus, 1);
    EXPECT_EQ(p.batteryFlag, 128);
    EXPECT_EQ(p.batteryLifePercent, 255);

    struct Case {
        const char* power;
        uint8_t ac, flag, percent;
    };
    for (const Case& c : {
             Case{R"({"ac_line": "offline", "battery_present": true, "battery_percent": 80})", 0, 1,
                  80},
             Case{R"({"ac_line": "offline", "battery_present": true, "battery_percent": 20})", 0, 2,
                  20},
             Case{R"({"ac_line": "offline", "battery_present": true, "battery_percent": 3})", 0, 4,
                  3},
             Case{R"({"ac_line": "online", "battery_present": true, "battery_percent": 50})", 1, 0,
                  50},
             Case{R"({"ac_line": "unknown", "battery_present": true, "battery_percent": null})",
                  255, 0, 255},
         }) {
        auto m = qir::testing::load(std::string(R"({"update_running": true, "power": )") + c.power +
                                    "}");
        ASSERT_TRUE(m) << c.power;
        EXPECT_TRUE(m->updateRunning);
        ASSERT_TRUE(m->getSystemPowerStatus(&p));
        EXPECT_EQ(p.acLineStatus, c.ac) << c.power;
        EXPECT_EQ(p.batteryFlag, c.flag) << c.power;
        EXPECT_EQ(p.batteryLifePercent, c.percent) << c.power;
    }
}

TEST(SimLoader, EveryExampleMachineLoads) {
    for (const char* name : {"default.json", "vroc_raid.json", "vroc_non_raid.json"}) {
        std::string error;
        auto m =
            sim::loadMachineFile(std::string(QIR_SOURCE_DIR) + "/sim/machines/" + name, &error);
        EXPECT_TRUE(m) << name << ": " << error;
    }
}

TEST(SimLoader, StateDumpShowsDrivesAndOpenCounts) {
    auto m = qir::testing::load(R"({"drives": [{"id": "a", "firmware": "VDL4J9QB"}]})");
    m->resultCode = 1602;
    std::string state = m->stateJson();
    for (const char* part :
         {"\"result_code\": 1602", "\"message_box\": null", "\"open_handles\": 0",
          "\"open_device_info_sets\": 0", "\"id\": \"a\"", "\"revision\": \"VDL4J9QB\"",
          "\"pending_slot\": null", "\"committed_digest\": \"\""})
        EXPECT_NE(state.find(part), std::string::npos) << part << "\n" << state;
}

} // namespace
