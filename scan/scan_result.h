// What one scan found: every identified drive with its verdict, the problems that kept
// the scan from seeing everything, the core's own messages, and the exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "discovery/target_disk.h"
#include "platform/power_source.h"
#include "scan/guard_platform.h"

namespace qir::scan {

// The exit codes deployment tools act on; they never change.
inline constexpr int kExitNothingToDo = 0;
inline constexpr int kExitWouldUpdate = 1;
inline constexpr int kExitBadCommandLine = 2;
inline constexpr int kExitIncomplete = 3;
inline constexpr int kExitGuardRefused = 4;
inline constexpr int kExitRestartPending = 5;
inline constexpr int kExitUpdateRunning = 6;

enum class Verdict { WillBeUpdated, AlreadyCurrent, NotEligible, WouldBeRefused, RestartPending };

struct ScannedDrive {
    TargetDisk disk;
    Verdict verdict = Verdict::NotEligible;
    std::string reason; // with WouldBeRefused: why the update would not take
    // Whether the driver tells which image waits for a restart (only the inbox driver's
    // firmware information does), and that image's revision when one waits.
    bool pendingKnown = false;
    std::u16string pendingRevision;
};

using platform::PowerSource;

struct ScanResult {
    std::u16string imageRevision;
    bool updateRunning = false; // another process holds the update lock now
    PowerSource power;
    std::vector<ScannedDrive> drives;
    std::vector<DeviceCall> problems;
    std::vector<DeviceCall> refused;
    std::vector<std::string> diagnostics; // the core's console lines, blank ones left out
    int exitCode = kExitNothingToDo;
};

} // namespace qir::scan
