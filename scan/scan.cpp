#include "scan/scan.h"

#include "app/console.h"
#include "app/update_lock.h"
#include "discovery/driver_requests.h"
#include "firmware/inbox_firmware_info.h"
#include "platform/platform.h"
#include "platform/win_constants.h"
#include "scan/drive_text.h"

namespace qir::scan {

namespace {

class CaptureSink : public ByteSink {
  public:
    void write(const char* data, size_t size) override { text.append(data, size); }
    void flush() override {}
    std::string text;
};

std::vector<std::string> nonBlankLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(' ') != std::string::npos)
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool isScsiPortPath(const std::u16string& path) {
    const std::u16string prefix = req::kScsiPortPrefix;
    return path.compare(0, prefix.size(), prefix) == 0 && !path.empty() && path.back() == u':';
}

std::string refusalReason(const InboxSlotJudgement& judgement, const TargetDisk& disk) {
    switch (judgement.choice) {
    case InboxSlotChoice::NoUpgradeSupport:
        return "the drive reports no firmware upgrade support";
    case InboxSlotChoice::NoSlots:
        return "the drive reports no firmware slot";
    case InboxSlotChoice::AllReadOnly:
        return "every firmware slot of the drive is read-only";
    case InboxSlotChoice::NotOpened:
        return "the disk could not be opened (Windows error " + hexText(judgement.windowsError) +
               ")";
    case InboxSlotChoice::RequestFailed:
        return "the firmware information request failed (Windows error " +
               hexText(judgement.windowsError) + ")";
    case InboxSlotChoice::StatusFailed:
        return "the driver answered the firmware information request with status " +
               hexText(judgement.returnCode);
    case InboxSlotChoice::ReplyUnusable:
        return "the driver's firmware information lies outside its reply";
    case InboxSlotChoice::NoRequestSize:
        return "the drive's update granularity (" + std::to_string(disk.updateGranularity) +
               ") gives no request size";
    case InboxSlotChoice::Chosen:
        break;
    }
    return std::string();
}

ScannedDrive judge(const TargetDisk& disk, const std::u16string& imageRevision) {
    ScannedDrive drive;
    drive.disk = disk;
    if (!isEligibleRevision(disk.firmwareRevision)) {
        drive.verdict =
            disk.firmwareRevision == imageRevision ? Verdict::AlreadyCurrent : Verdict::NotEligible;
        return drive;
    }
    drive.verdict = Verdict::WillBeUpdated;
    // Only the inbox driver can be asked about slots without writing; the RAID routes go
    // straight to the download.
    if (disk.driverKind == InboxNvme) {
        const InboxSlotJudgement judgement = queryInboxSlot(disk);
        if (judgement.choice != InboxSlotChoice::Chosen) {
            drive.verdict = Verdict::WouldBeRefused;
            drive.reason = refusalReason(judgement, disk);
            return drive;
        }
        drive.pendingKnown = true;
        drive.pendingRevision = judgement.pendingRevision;
        // Until the restart the drive still runs, and reports, the revision it had: an
        // update now would write the same image a second time.
        if (judgement.pendingRevision == imageRevision)
            drive.verdict = Verdict::RestartPending;
    }
    return drive;
}

} // namespace

bool isProblem(const DeviceCall& call) {
    if (call.request == "open")
        return !(isScsiPortPath(call.path) && (call.error == win::ERROR_FILE_NOT_FOUND ||
                                               call.error == win::ERROR_PATH_NOT_FOUND));
    const bool intelRaidRequest = call.controlCode == req::IOCTL_SCSI_MINIPORT &&
                                  call.request.find("\"FIRMWARE\"") == std::string::npos;
    return !(intelRaidRequest && call.error == win::ERROR_INVALID_FUNCTION);
}

int exitCodeOf(const ScanResult& result) {
    if (!result.refused.empty())
        return kExitGuardRefused;
    // While another update runs, what the drives report is in flux: nothing the scan
    // read can be acted on until it has finished.
    if (result.updateRunning)
        return kExitUpdateRunning;
    for (const ScannedDrive& drive : result.drives)
        if (drive.verdict == Verdict::WillBeUpdated)
            return kExitWouldUpdate;
    for (const ScannedDrive& drive : result.drives)
        if (drive.verdict == Verdict::RestartPending)
            return kExitRestartPending;
    return result.problems.empty() ? kExitNothingToDo : kExitIncomplete;
}

ScanResult scanMachine(const std::u16string& imageRevision, const DiscoveryOps& ops) {
    ScanResult result;
    result.imageRevision = imageRevision;

    platform::Platform& real = platform::os();
    result.updateRunning = updateRunningNow();
    platform::PowerStatus status;
    if (real.getSystemPowerStatus(&status))
        result.power = powerSourceOf(status);

    GuardPlatform guard(real);
    platform::setPlatform(&guard);
    ByteSink& console = consoleSink();
    CaptureSink capture;
    setConsoleSink(&capture);
    resetConsoleStreams();

    DiskList foundDisks, identifiedDisks, targets;
    int32_t vrocPort = -1;
    findTargets(ops, foundDisks, identifiedDisks, targets, &vrocPort);
    for (const TargetDisk& disk : identifiedDisks)
        result.drives.push_back(judge(disk, imageRevision));

    setConsoleSink(&console);
    platform::setPlatform(&real);

    result.diagnostics = nonBlankLines(capture.text);
    for (const DeviceCall& call : guard.failures())
        if (isProblem(call))
            result.problems.push_back(call);
    result.refused = guard.refused();
    result.exitCode = exitCodeOf(result);
    return result;
}

} // namespace qir::scan
