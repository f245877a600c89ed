// Runs the RST and VROC paths against a simulated machine built from a description.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/platform.h"

#include "sim/machine_loader.h"
#include "sim/nvme_drive.h"
#include "sim/sim_machine.h"

namespace qir::test {

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

// Installs the machine as the platform for the lifetime of the object.
class SimulatedMachine {
  public:
    explicit SimulatedMachine(const std::string& description) {
        machine_ = sim::loadMachine(description, &error_);
        if (machine_)
            platform::setPlatform(machine_.get());
    }
    ~SimulatedMachine() { platform::setPlatform(nullptr); }
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    bool loaded() const { return machine_ != nullptr; }
    const std::string& error() const { return error_; }
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

} // namespace qir::test

#define QIR_LOAD_MACHINE(name, description)                                                        \
    qir::test::SimulatedMachine name(description);                                                 \
    ASSERT_TRUE(name.loaded()) << name.error()
