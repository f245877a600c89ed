// The records the rebuild's steps hand each other: what the capture showed of device sets,
// devices, opens and requests, the drives found behind them, and what a device's step
// makes of it.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/captured_call.h"
#include "sim/request_kinds.h"
#include "sim/sim_machine.h"

namespace qir::sim::rebuild {

// Why a capture cannot be rebuilt, naming the capture entry or the part of the machine.
struct RebuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse(size_t entry, const std::string& why);

enum class SetKind { Disk, Port, All, Other };

struct DeviceSet {
    SetKind kind = SetKind::Other;
    std::vector<uint32_t> devInsts; // by index
    std::optional<size_t> end;      // the index that answered "no more items"
    std::optional<uint32_t> iface;  // device of the interface last enumerated
};

// A device as the simulated machine holds it, and the properties it answered as absent.
struct Device : SimDevice {
    std::set<std::string> missing;
    std::optional<platform::Guid> setupClass; // as the walk of all classes answered it
};

// An open or a control request of the capture, with its path as the tool spelled it.
struct Request {
    size_t entry;
    const capture::CapturedCall* call;
    RequestKind kind;
    std::u16string path;
    uint32_t occurrence; // among requests of its kind on its path
};

// Opens and requests by the path they were made on, in upper case.
using RequestsByPath = std::map<std::u16string, std::vector<Request>>;

struct Drive {
    std::string id;
    std::vector<uint8_t> identify; // 4096 bytes
    const capture::CapturedCall* getInfo = nullptr;
};

// What one device's step makes: its description, the faults that keep its recorded
// answers, the drives behind it, and the paths whose opens it accounted for.
struct DeviceEntry {
    nlohmann::ordered_json device;
    nlohmann::ordered_json faults = nlohmann::ordered_json::array();
    std::vector<Drive> drives;
    std::vector<std::u16string> opensUsed;
    std::optional<uint32_t> deviceNumber; // a disk's, held by no other disk
};

// A request the driver of its device took as one of its own: not one the tool only asks any
// device, not one that writes firmware, and not one refused as unknown.
bool driverKnows(const Request& r);

// A fault that makes the request answer as recorded: `effect` is "error", "return_code"
// or "completion_status".
nlohmann::ordered_json requestFault(const Request& r, const char* effect, uint32_t value);

} // namespace qir::sim::rebuild
