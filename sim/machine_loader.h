// Builds a simulated machine from its JSON description (docs/simulator.md).
#pragma once

#include <memory>
#include <string>

#include "sim/sim_machine.h"

namespace qir::sim {

// nullptr and a one-line reason in *error when the description is refused.
std::unique_ptr<SimMachine> loadMachine(const std::string& jsonText, std::string* error);
std::unique_ptr<SimMachine> loadMachineFile(const std::string& path, std::string* error);

} // namespace qir::sim
