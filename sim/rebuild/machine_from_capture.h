// Rebuilds a machine description (docs/simulator.md) from a capture (docs/capture.md):
// the device tree, the drivers and the drives the recorded answers show, with the drive
// model's defaults for what no answer tells.
#pragma once

#include <string>

#include "capture/capture_file.h"
#include "capture/captured_call.h"

namespace qir::sim {

// The description as JSON text; empty, with a reason naming the capture entry, when the
// capture cannot be rebuilt into a machine.
std::string machineFromCapture(const capture::CallList& calls, std::string* error);
// The same, the machine's clock taken from the header when no call recorded it.
std::string machineFromCapture(const capture::Capture& capture, std::string* error);
// The same from a capture file, with the file named in the reason.
std::string machineOfCaptureFile(const std::string& path, std::string* error);

} // namespace qir::sim
