// Judges one run of the tool on a simulated machine: what the tool reported (exit
// code, log file, closing console line) against what the drives really hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_machine.h"

namespace qir::sweep {

// One "[Disk #n]" block of the log file.
struct ReportedDisk {
    int number = 0;
    std::string serial; // trailing blanks and NULs removed
    std::string returnCode;
    std::string details;
};

struct ParsedReport {
    bool ok = false;
    std::string error; // why the text is not a run report
    bool noDisk = false;
    std::vector<ReportedDisk> disks;
    std::string finalReturnCode;
    std::string finalDetails;
};

// Reads a run report as the log file holds it (CR LF or LF line ends).
ParsedReport parseRunReport(const std::string& logText);

// What is known about a drive before the run.
struct DriveBefore {
    std::string id;
    std::string serial;    // trailing blanks removed
    bool eligible = false; // of the maker, on a revision the image replaces
};

std::vector<DriveBefore> drivesBefore(const sim::SimMachine& machine);

struct RunOutcome {
    int32_t exitCode = 0;
    std::string logText;
    std::string consoleTail; // the last bytes the console received
};

// Everything wrong with the run, one line each; empty when it holds up.
std::vector<std::string> judgeRun(const RunOutcome& outcome, const sim::SimMachine& machine,
                                  const std::vector<DriveBefore>& before,
                                  const std::string& imageDigest);

} // namespace qir::sweep
