// The capture file: a schema version, a header with what differs from one recording
// to the next of the same machine (host, time), and every call in order, one a line.
// docs/capture.md describes the format.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "capture/captured_call.h"

namespace qir::capture {

// Schema 2 writes long runs of one byte short (capture/hex_text.h); the reader takes 1 too.
inline constexpr int kSchemaVersion = 3;
// The most bytes the blocks of one capture may hold together; a whole update run of the
// largest machine holds a few megabytes.
inline constexpr size_t kMostCapturedBytes = size_t{256} << 20;

struct CaptureHeader {
    std::string host;
    std::string time; // UTC, "YYYY-MM-DDThh:mm:ssZ"
    // The machine's own clock, "YYYY-MM-DD hh:mm:ss"; empty when not known (schema 1).
    std::string localTime;
};

struct Capture {
    CaptureHeader header;
    CallList calls;
};

// The header of a recording made now on this host.
CaptureHeader headerOfThisHost();

std::string captureText(const CaptureHeader& header, const CallList& calls);

// A machine clock as the header and the machine description write it.
std::string localTimeText(const platform::LocalTime& time);

// The calls of a capture text; nullopt and a reason that names the entry when the text
// is not a capture this reader can use.
std::optional<CallList> readCapture(const std::string& text, std::string* error);
// The same with the header.
std::optional<Capture> readWholeCapture(const std::string& text, std::string* error);

// A call's question alone (what the tool asked), as one JSON line: two calls asked the
// same when these are equal.
std::string questionText(const CapturedCall& call);

} // namespace qir::capture
