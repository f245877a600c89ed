// The simulated machine of the suites that run the core against one: loaded from a
// description and installed as the platform for as long as it lives; and the fixture
// built on it, with the console captured, the working copy loaded, and no handle or
// device information set left open after any test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "firmware/firmware_image.h"
#include "platform/platform.h"
#include "sim/machine_loader.h"
#include "sim/nvme_drive.h"
#include "sim/sim_machine.h"
#include "tests/support/console_capture.h"

namespace qir::testing {

// A JSON string literal holding the text unchanged.
inline std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

class SimulatedMachine {
  public:
    SimulatedMachine() = default;
    explicit SimulatedMachine(const std::string& description) { load(description); }
    ~SimulatedMachine() { platform::setPlatform(nullptr); }
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    // False, with the loader's complaint in error(), when the description is refused.
    bool load(const std::string& description) {
        error_.clear();
        install(sim::loadMachine(description, &error_));
        return loaded();
    }
    // Takes over a machine built some other way, a subclass say.
    void install(std::unique_ptr<sim::SimMachine> machine) {
        machine_ = std::move(machine);
        platform::setPlatform(machine_.get());
    }

    bool loaded() const { return machine_ != nullptr; }
    explicit operator bool() const { return loaded(); }
    const std::string& error() const { return error_; }
    sim::SimMachine* get() { return machine_.get(); }
    sim::SimMachine* operator->() { return machine_.get(); }
    sim::SimMachine& operator*() { return *machine_; }

    // Trace lines that mention the text.
    int traceLinesWith(const std::string& text) {
        int count = 0;
        for (const std::string& line : machine_->trace())
            if (line.find(text) != std::string::npos)
                ++count;
        return count;
    }

  private:
    std::unique_ptr<sim::SimMachine> machine_;
    std::string error_;
};

class SimFixture : public ::testing::Test {
  protected:
    void SetUp() override { loadWorkingCopy(); }
    void TearDown() override {
        if (machine)
            expectNothingLeftOpen();
    }
    void expectNothingLeftOpen() {
        EXPECT_EQ(machine->openHandles, 0);
        EXPECT_EQ(machine->openDeviceInfoSets, 0);
        EXPECT_FALSE(machine->lockHeld) << "the update lock was not let go";
    }
    // Loads the description and makes it the machine the core talks to.
    sim::SimMachine& load(const std::string& description) {
        if (machine)
            expectNothingLeftOpen();
        EXPECT_TRUE(machine.load(description)) << machine.error();
        if (!machine)
            machine.install(std::make_unique<sim::SimMachine>());
        return *machine;
    }
    const sim::NvmeDrive& drive(const std::string& id) {
        const sim::NvmeDrive* d = machine->drive(id);
        EXPECT_NE(d, nullptr) << id;
        static const sim::NvmeDrive none(sim::DriveConfig{});
        return d ? *d : none;
    }

    ConsoleCapture console;
    SimulatedMachine machine;
};

// One inbox disk of the drive maker behind controller `n`, with device number `n`.
inline std::string inboxDisk(int n, const std::string& drive, const std::string& extra = "") {
    std::string id = std::to_string(n);
    return R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME&PROD_KORVANE\\5&)" + id +
           R"(", "parent_id": "PCI\\VEN_1D7A&DEV_0100&SUBSYS_00011D7A\\4&)" + id +
           R"(", "hardware_ids": ["SCSI\\DiskNVMe____KORVANE_TX7Q3", "GenDisk"],)" +
           R"( "interface_path": "\\\\?\\scsi#disk&ven_nvme#5&)" + id +
           R"(#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", "device_number": )" + id +
           R"(, "driver": "inbox", "drive": ")" + drive + "\"" + extra + "}";
}

// A drive of the maker with an eligible revision; `extra` adds or overrides keys.
inline std::string makerDrive(const std::string& id, const std::string& extra = "") {
    return R"({"id": ")" + id + R"(", "serial": "SN)" + id +
           R"(", "model": "KORVANE TX7Q3 1TB", "firmware": "VDL7W2QA")" + extra + "}";
}

inline std::string machineOf(const std::string& devices, const std::string& drives,
                             const std::string& faults = "") {
    return R"({"devices": [)" + devices + R"(], "drives": [)" + drives + R"(], "faults": [)" +
           faults + "]}";
}

inline std::u16string physicalDrive(int n) {
    std::u16string path = u"\\\\.\\PHYSICALDRIVE";
    for (char c : std::to_string(n))
        path += static_cast<char16_t>(c);
    return path;
}

} // namespace qir::testing

#define QIR_LOAD_MACHINE(name, description)                                                        \
    qir::testing::SimulatedMachine name(description);                                              \
    ASSERT_TRUE(name.loaded()) << name.error()
