#include "scan/report_text.h"

#include "app/tool_identity.h"
#include "app/updater/disk_updater.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "scan/drive_text.h"
#include "scan/machine_text.h"

namespace qir::scan {

namespace {

std::string trailingBlanksDropped(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// What the verdict alone cannot say about a restart.
std::string noteOf(const ScannedDrive& drive) {
    if (drive.verdict == Verdict::RestartPending)
        return "     if it still waits after a restart, the drive needs a full shutdown "
               "(power off, then on)\n";
    if (drive.verdict == Verdict::WillBeUpdated && !drive.pendingKnown)
        return "     this driver does not tell whether the new firmware already waits for a "
               "restart\n";
    return {};
}

std::string driveBlock(size_t number, const ScannedDrive& drive, const std::u16string& revision) {
    const TargetDisk& disk = drive.disk;
    return "  " + std::to_string(number) + ". " + stackText(disk.driverKind) + ", " +
           addressText(disk) + "\n" + "     model " +
           trailingBlanksDropped(escapedText(disk.modelNumber)) + ", serial " +
           trailingBlanksDropped(escapedText(disk.serialNumber)) + ", revision " +
           escapedText(disk.firmwareRevision) + "\n" + "     " + verdictText(drive, revision) +
           "\n" + noteOf(drive);
}

std::string callText(const DeviceCall& call) {
    const std::string what = call.request == "open" ? "open of " : call.request + " on ";
    std::string text = "  " + what + text::toUtf8(call.path) + " failed with Windows error " +
                       std::to_string(call.error) + " (" + hexText(call.error) + ")\n";
    if (call.request == "open" && call.error == win::ERROR_ACCESS_DENIED)
        text += std::string("    ") + kAdministratorHint + "\n";
    return text;
}

} // namespace

std::string toolVersionText(const std::u16string& imageRevision) {
    return text::toUtf8(kToolVersionPrefix) + escapedText(imageRevision);
}

std::string headerText(const std::u16string& imageRevision) {
    std::string eligible;
    for (const char16_t* revision : kEligibleRevisions)
        eligible += (eligible.empty() ? "" : " and ") + text::toUtf8(revision);
    return toolVersionText(imageRevision) + " pre-flight scan: writes to no drive.\n" +
           "Image revision " + escapedText(imageRevision) + "; it replaces " + eligible + ".\n";
}

std::string exitCodeMeaning(int exitCode) {
    switch (exitCode) {
    case kExitNothingToDo:
        return "nothing to update";
    case kExitWouldUpdate:
        return "at least one drive would be updated";
    case kExitBadCommandLine:
        return "bad command line";
    case kExitIncomplete:
        return "scan incomplete: a device could not be opened or queried";
    case kExitGuardRefused:
        return "a firmware request was attempted and refused: a bug of the tool";
    case kExitRestartPending:
        return "nothing to write, a restart is pending";
    case kExitUpdateRunning:
        return "an update is running now: try again later";
    default:
        return "unknown";
    }
}

std::string reportText(const ScanResult& result) {
    std::string text = headerText(result.imageRevision) + "\n";
    text += updateRunningText(result.updateRunning) + powerText(result.power) + "\n";
    if (result.drives.empty()) {
        text += "Drives: none found\n";
    } else {
        text += "Drives: " + std::to_string(result.drives.size()) + "\n";
        for (size_t i = 0; i < result.drives.size(); ++i)
            text += driveBlock(i + 1, result.drives[i], result.imageRevision);
    }

    text += "\nMessages of discovery:\n";
    if (result.diagnostics.empty())
        text += "  (none)\n";
    for (const std::string& line : result.diagnostics)
        text += "  " + line + "\n";

    text += "\nProblems:\n";
    if (result.problems.empty())
        text += "  (none)\n";
    for (const DeviceCall& call : result.problems)
        text += callText(call);

    for (const DeviceCall& call : result.refused)
        text += "\nBUG: the scan attempted a firmware request, which was refused: " + call.request +
                " on " + text::toUtf8(call.path) + ". Please report this bug.\n";

    // No read-only request shows the pieces of an interrupted download, and a drive that
    // refuses overlapping pieces keeps refusing until a restart drops them.
    if (result.exitCode == kExitWouldUpdate)
        text += "\nIf an update of this machine was ended before it finished (the process "
                "ended, the\npower lost) and qir.exe then fails on a drive, restart the "
                "machine and run it again.\n";
    return text + "\nResult: " + std::to_string(result.exitCode) + " (" +
           exitCodeMeaning(result.exitCode) + ")\n";
}

} // namespace qir::scan
