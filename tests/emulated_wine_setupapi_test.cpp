// What Wine's SetupAPI can hold of a description: the installer refuses the rest naming
// the entry, and the description it writes in Wine's order is one qir-sim runs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "emulated/machine_paths.h"
#include "emulated/wine_setupapi.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/machine_generator.h"
#include "sim/machine_loader.h"

namespace {

using namespace qir;

std::vector<std::string> refusalsOf(const std::string& description) {
    std::string error;
    auto machine = sim::loadMachine(description, &error);
    EXPECT_TRUE(machine) << error;
    if (!machine)
        return {"not loaded"};
    return emulated::refusals(*machine, emulated::deviceNames(description));
}

constexpr char kDisk[] =
    R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME\\5&1",
        "interface_path": "\\\\?\\scsi#disk&ven_nvme#5&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}")";

std::string machineWith(const std::string& deviceTail, const std::string& rest = "") {
    return std::string(R"({"devices": [)") + kDisk + deviceTail + "}]" + rest + "}";
}

TEST(EmulatedWineSetupApi, RefusesWhatWineCannotHoldNamingTheEntry) {
    struct Case {
        std::string description;
        const char* refusal; // nullptr: held
    };
    const Case cases[] = {
        {machineWith(""), nullptr},
        {machineWith(R"(, "missing": ["instance_id", "parent_id"], "open_error": 3)"), nullptr},
        {machineWith(R"(, "open_error": 5)"), "devices[0].open_error"},
        {machineWith(R"(, "property_errors": {"parent_id": 13})"), "devices[0].property_errors"},
        {machineWith(R"(, "interface_detail_error": 8)"), "devices[0].interface_detail_error"},
        {machineWith(R"(, "dev_inst": 4)"), "devices[0].dev_inst"},
        {machineWith("", R"(, "module_handle_fails": true)"), "module_handle_fails"},
        {machineWith("", R"(, "faults": [{"kind": "open", "error": 5}])"), "faults[0]"},
        {machineWith("", R"(, "faults": [{"kind": "get_class_devs", "error": 8}])"), "faults[0]"},
        {machineWith("", R"(, "faults": [{"kind": "open", "path": "C:\\x", "occurrence": "every",
                                          "error": 2}])"),
         "faults[0].path"},
        {machineWith("", R"(, "faults": [{"kind": "open", "path": "\\\\.\\PHYSICALDRIVE3",
                                          "occurrence": "every", "error": 2}])"),
         nullptr},
        {machineWith("", R"(, "faults": [{"kind": "open", "path": "\\\\.\\PHYSICALDRIVE3",
                                          "occurrence": 2, "error": 2}])"),
         "faults[0]"},
        {machineWith("", R"(, "faults": [{"kind": "open", "path": "\\\\.\\PHYSICALDRIVE3",
                                          "occurrence": "every", "error": 5}])"),
         "faults[0]"},
        {R"({"devices": [{"class": "disk", "instance_id": "X\\1",
                          "interface_path": "\\\\?\\x#1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}]})",
         "devices[0].instance_id"},
        {R"({"devices": [{"class": "disk", "instance_id": "SCSI\\DISK\\1",
                          "interface_path": "\\\\?\\scsi#disk#2#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}]})",
         "devices[0].interface_path"},
        {R"({"devices": [{"class": "other", "instance_id": "A\\B\\C"},
                         {"class": "other", "instance_id": "a\\b\\c"}]})",
         "devices[1].instance_id"},
        {R"({"devices": [{"class": "scsi_port", "scsi_port": 2}]})",
         nullptr}, // named by a made-up id that it does not answer
    };
    for (const Case& c : cases) {
        std::vector<std::string> refused = refusalsOf(c.description);
        if (!c.refusal) {
            EXPECT_TRUE(refused.empty()) << c.description << "\n" << refused.front();
            continue;
        }
        ASSERT_EQ(refused.size(), 1u) << c.description;
        EXPECT_EQ(refused[0].rfind(std::string(c.refusal) + ":", 0), 0u) << refused[0];
    }
}

TEST(EmulatedWineSetupApi, AnswersEachPathOnceUnderItsLink) {
    const std::string description =
        R"({"devices": [)" + std::string(kDisk) + R"(, "device_number": 1},
            {"class": "scsi_port", "scsi_port": 3}],
            "faults": [{"kind": "open", "path": "\\\\.\\physicaldrive1", "occurrence": "every",
                        "error": 3},
                       {"kind": "open", "path": "\\\\.\\PHYSICALDRIVE7", "error": 5}]})";
    std::string error;
    auto machine = sim::loadMachine(description, &error);
    ASSERT_TRUE(machine) << error;
    std::vector<std::string> paths;
    for (const emulated::AnsweredPath& p : emulated::answeredPaths(*machine))
        paths.push_back(text::toUtf8(p.path) + " " + text::toUtf8(emulated::linkNameOf(p.path)) +
                        " " + std::to_string(p.openError));
    const std::vector<std::string> expected = {
        "\\\\?\\scsi#disk&ven_nvme#5&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b} "
        "\\DosDevices\\scsi#disk&ven_nvme#5&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b} 0",
        "\\\\.\\PHYSICALDRIVE1 \\DosDevices\\PHYSICALDRIVE1 3",
        "\\\\.\\Scsi3: \\DosDevices\\Scsi3: 0",
        "\\\\.\\PHYSICALDRIVE7 \\DosDevices\\PHYSICALDRIVE7 0",
    };
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(emulated::linkNameOf(u"\\\\.\\PHYSICALDRIVE1\\x"), u"");
}

TEST(EmulatedWineSetupApi, WritesTheDescriptionInWinesOrder) {
    const std::string description = R"({"devices": [
        {"class": "other", "instance_id": "ZZ\\B\\1"},
        )" + std::string(kDisk) + R"(, "location_info": "Bus Number 3, Target Id 0, LUN 0"}]})";
    std::vector<emulated::ListedDevice> listed = {
        {u"scsi\\disk&ven_nvme\\5&1", 0, -1}, {u"WINE\\OWN\\0", 1, -1}, {u"ZZ\\B\\1", 2, -1}};
    emulated::matchListed(emulated::deviceNames(description), listed);
    EXPECT_EQ(listed[0].device, 1);
    EXPECT_EQ(listed[1].device, -1);
    EXPECT_EQ(listed[2].device, 0);

    std::string error;
    auto machine = sim::loadMachine(description, &error);
    ASSERT_TRUE(machine) << error;
    const auto names = emulated::deviceNames(description);
    EXPECT_TRUE(emulated::orderRefusals(*machine, names, listed, {u"SCSI\\DISK&VEN_NVME\\5&1"}, {})
                    .empty());
    EXPECT_EQ(emulated::orderRefusals(*machine, names, listed, {}, {}).size(), 1u);
    EXPECT_EQ(
        emulated::orderRefusals(*machine, names, {listed[0]}, {u"SCSI\\DISK&VEN_NVME\\5&1"}, {})
            .size(),
        1u);

    const nlohmann::json ordered =
        nlohmann::json::parse(emulated::inWineOrder(description, listed));
    const nlohmann::json expected = nlohmann::json::parse(R"([
        {"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME\\5&1",
         "interface_path": "\\\\?\\scsi#disk&ven_nvme#5&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
         "location_info": "Bus Number 3, Target Id 0, LUN 0", "missing": ["location_info"]},
        {"class": "other", "instance_id": "WINE\\OWN\\0", "missing": ["instance_id"]},
        {"class": "other", "instance_id": "ZZ\\B\\1"}])");
    EXPECT_EQ(ordered["devices"], expected);
    EXPECT_FALSE(ordered.contains("power"));
    EXPECT_TRUE(sim::loadMachine(ordered.dump(), &error)) << error;

    // The power source is the host's, as Wine reports it, in place of the description's;
    // a machine loaded from it answers GetSystemPowerStatus as Wine did.
    for (const platform::PowerStatus& host :
         {platform::PowerStatus{0, 2, 20}, platform::PowerStatus{1, 128, 255},
          platform::PowerStatus{255, 255, 255}}) {
        const nlohmann::json withPower = nlohmann::json::parse(
            emulated::inWineOrder(R"({"power": {"ac_line": "online"}, "devices": []})", {}, &host));
        auto loaded = sim::loadMachine(withPower.dump(), &error);
        ASSERT_TRUE(loaded) << error;
        platform::PowerStatus answered;
        ASSERT_TRUE(loaded->getSystemPowerStatus(&answered));
        EXPECT_EQ(answered.acLineStatus, host.acLineStatus);
        EXPECT_EQ(answered.batteryFlag, host.batteryFlag);
        EXPECT_EQ(answered.batteryLifePercent, host.batteryLifePercent);
    }
}

// Every machine of the generator's wine profile is one the emulated machine holds.
TEST(EmulatedWineSetupApi, HoldsEveryMachineOfTheWineProfile) {
    for (uint64_t k = 0; k < 300; ++k) {
        const std::string description = sim::generatedMachine(21, k, {sim::GeneratorProfile::Wine});
        const std::vector<std::string> refused = refusalsOf(description);
        EXPECT_TRUE(refused.empty()) << k << ": " << refused.front();
    }
}

} // namespace
