// The kind of a control request told from its bytes alone, with the names of the trace
// and of faults ("csmi", "rst.identify", ...): the rebuild and the answers a machine holds
// as recorded name requests by it, whatever the driver behind the device makes of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qir::sim {

// "other" for a request no kind names.
std::string requestKindOf(uint32_t controlCode, const uint8_t* in, size_t inSize);

// Whether a request of that kind downloads, activates or commits firmware: what such a
// request does is for the drive model to say, never for a record.
bool writesFirmware(const std::string& kind);

// Whether `kind` is a name requestKindOf gives.
bool isRequestKind(const std::string& kind);

} // namespace qir::sim
