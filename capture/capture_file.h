// The capture file: a schema version, a header with what differs from one recording
// to the next of the same machine (host, time), and every call in order, one a line.
// docs/capture.md describes the format.
#pragma once

#include <optional>
#include <string>

#include "capture/captured_call.h"

namespace qir::capture {

inline constexpr int kSchemaVersion = 1;

struct CaptureHeader {
    std::string host;
    std::string time; // UTC, "YYYY-MM-DDThh:mm:ssZ"
};

// The header of a recording made now on this host.
CaptureHeader headerOfThisHost();

std::string captureText(const CaptureHeader& header, const CallList& calls);

// The calls of a capture text; nullopt and a reason that names the entry when the text
// is not a capture this reader can use.
std::optional<CallList> readCapture(const std::string& text, std::string* error);

// A call's question alone (what the tool asked), as one JSON line: two calls asked the
// same when these are equal.
std::string questionText(const CapturedCall& call);

} // namespace qir::capture
