// How the report and the JSON spell a drive: its stack, its revision with every byte that
// is not printable ASCII escaped, the raw bytes in hex, and its verdict.
#pragma once

#include <cstdint>
#include <string>

#include "capture/hex_text.h"
#include "scan/scan_result.h"

namespace qir::scan {

using capture::hexText;

// Printable ASCII as it is (a backslash doubled); every other character as \xHH of its
// low byte, which is the byte the drive reported.
std::string escapedText(const std::u16string& text);

// The low byte of each character as two lower-case hex digits.
std::string rawBytesHex(const std::u16string& text);

// "inbox", "IRST RAID member", ...; and the JSON's name of the same.
std::string stackText(DriverKind kind);
std::string stackKey(DriverKind kind);

// "device path \\.\PHYSICALDRIVE2", "path id 3 on <controller path>", "VROC disk id 2 ...".
std::string addressText(const TargetDisk& disk);

// "will be updated to VDL9K2QC", "already runs ...", "not eligible (revision ...)",
// "eligible but would be refused: <reason>"; and the JSON's key of the verdict.
std::string verdictText(const ScannedDrive& drive, const std::u16string& imageRevision);
std::string verdictKey(Verdict verdict);

} // namespace qir::scan
