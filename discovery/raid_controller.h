// The Intel RST controller's storage port, as controller detection found it.
#pragma once

#include <string>

namespace qir {

struct RaidController {
    std::u16string interfacePath;
    std::u16string instanceId;
};

} // namespace qir
