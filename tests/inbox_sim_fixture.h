// Shared set-up of the tests that run the inbox path against a simulated machine:
// the machine from a description, the console captured, and after every test no
// handle and no device information set left open.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/console.h"
#include "firmware/firmware_image.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

namespace qir::testing {

class ConsoleCapture : public ByteSink {
  public:
    void write(const char* data, size_t size) override { bytes.append(data, size); }
    void flush() override {}
    std::string bytes;
};

class SimFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        setConsoleSink(&console);
        resetConsoleStreams();
        loadWorkingCopy();
    }
    void TearDown() override {
        if (machine)
            expectNothingLeftOpen();
        platform::setPlatform(nullptr);
        setConsoleSink(nullptr);
    }
    void expectNothingLeftOpen() {
        EXPECT_EQ(machine->openHandles, 0);
        EXPECT_EQ(machine->openDeviceInfoSets, 0);
    }
    // Loads the description and makes it the machine the core talks to.
    sim::SimMachine& load(const std::string& description) {
        if (machine)
            expectNothingLeftOpen();
        std::string error;
        machine = sim::loadMachine(description, &error);
        EXPECT_NE(machine, nullptr) << error;
        if (!machine)
            machine = std::make_unique<sim::SimMachine>();
        platform::setPlatform(machine.get());
        return *machine;
    }
    const sim::NvmeDrive& drive(const std::string& id) {
        const sim::NvmeDrive* d = machine->drive(id);
        EXPECT_NE(d, nullptr) << id;
        static const sim::NvmeDrive none(sim::DriveConfig{});
        return d ? *d : none;
    }
    std::unique_ptr<sim::SimMachine> machine;
    ConsoleCapture console;
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
