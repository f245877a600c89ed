#include "app/run_report.h"

#include "app/console.h"
#include "app/log_file.h"
#include "app/process_state.h"
#include "app/timestamp.h"
#include "firmware/firmware_image.h"
#include "platform/platform.h"
#include "platform/win_constants.h"

namespace qir {

namespace {

const char kUpdatedLog[] = "Updated firmware successfully.\n";
const char kRebootLog[] =
    "Downloaded firmware successfully, but firmware activation requires reboot.\n";
const char kFailedLog[] = "Unable to update firmware.\n";

const char16_t kUpdatedSummary[] = u"Updated firmware successfully.\n";
const char16_t kRebootSummary[] =
    u"Downloaded firmware successfully, \nbut firmware activation requires reboot.\n";
const char16_t kFailedSummary[] = u"Unable to update firmware.\n";

const char kUpdateRunningDetails[] =
    "Another firmware update was running on this machine; no disk was touched.\n";

std::string decimal(uint64_t value) {
    return std::to_string(value);
}
std::string decimal(int32_t value) {
    return std::to_string(value);
}

std::u16string wideDecimal(uint64_t value) {
    return widenBytes(std::to_string(value));
}

// The message box is a C string on Windows: whatever follows a NUL would be cut there
// anyway, so the summary states that plainly.
std::u16string upToNul(const std::u16string& text) {
    return text.substr(0, text.find(u'\0'));
}

} // namespace

int32_t writeRunReport(RunOptions& options, const std::function<void()>& reportWritten) {
    options.endTime = widenBytes(makeTimestamp());

    std::string logText;
    std::u16string summaryText;
    const std::string revision = narrowLowBytes(imageRevision);

    logText += "Start Time : " + narrowLowBytes(options.startTime) + "\n";
    logText += "End Time : " + narrowLowBytes(options.endTime) + "\n";
    logText += "Input Command : " + narrowLowBytes(options.inputCommand) + "\n";
    summaryText += u"Updated Firmware Version : " + imageRevision + u"\n";

    if (options.otherUpdateRunning) {
        // A block of the same shape as the one of a run without disks, so that whoever
        // reads logs finds the reason where that run has its own.
        logText += "[Update Running]\n";
        logText += "Updated Firmware Version : " + revision + "\n";
        logText += "Return Code : 1\n";
        logText += std::string("Result Details : ") + kUpdateRunningDetails;
        options.resultCode = kResultFailed;
        summaryText += u"[Update Running]\n";
        summaryText += widenBytes(kUpdateRunningDetails);
    } else if (options.targets.empty()) {
        logText += "[No Disk]\n";
        logText += "Updated Firmware Version : " + revision + "\n";
        logText += "Return Code : 1\n";
        logText += "Result Details : No disks are available for download.\n";
        options.resultCode = kResultFailed;
        summaryText += u"[No Disk]\n";
        summaryText += u"No disks are available for download.\n";
    } else {
        uint64_t number = 0;
        for (const TargetDisk& target : options.targets) {
            ++number;
            logText += "\n[Disk #" + decimal(number) + "]\n";
            logText += "Model Number : " + narrowLowBytes(target.modelNumber) + "\n";
            logText += "Serial Number : " + narrowLowBytes(target.serialNumber) + "\n";
            logText +=
                "Current Firmware Version : " + narrowLowBytes(target.firmwareRevision) + "\n";
            logText += "Updated Firmware Version : " + revision + "\n";
            logText += "Return Code : " + decimal(uint64_t{target.updateResult}) + "\n";
            logText += "Result Details : ";

            summaryText += u"\n[Disk #" + wideDecimal(number) + u"]\n";
            summaryText += u"Serial Number : " + upToNul(target.serialNumber) + u"\n";

            if (target.updateResult == kResultSuccess) {
                logText += kUpdatedLog;
                summaryText += kUpdatedSummary;
            } else if (target.updateResult == kResultRebootRequired) {
                logText += kRebootLog;
                summaryText += kRebootSummary;
                // A failure anywhere in the run outranks a pending reboot.
                if (options.resultCode != kResultFailed)
                    options.resultCode = kResultRebootRequired;
            } else {
                logText += kFailedLog;
                options.resultCode = kResultFailed;
                summaryText += kFailedSummary;
            }
        }
    }

    logText += "\n[Final Result]\n";
    summaryText += u"\n[Final Result]\n";
    logText += "Return Code : " + decimal(options.resultCode) + "\n";

    if (options.resultCode == kResultSuccess) {
        logText += std::string("Result Details : ") + kUpdatedLog;
        summaryText += kUpdatedSummary;
    } else if (options.resultCode == kResultRebootRequired) {
        logText += std::string("Result Details : ") + kRebootLog;
        summaryText += std::u16string(u"Result Details : ") + kRebootSummary;
    } else {
        logText += std::string("Result Details : ") + kFailedLog;
        summaryText += kFailedSummary;
    }

    writeLogFile(options.logPath, logText);

    wideOut() << endl;
    wideOut() << u" >> QIR Ended (Return Code : " << options.resultCode << u")" << endl;
    wideOut() << endl;
    if (reportWritten)
        reportWritten();

    if (!silentMode)
        platform::os().messageBox(summaryText, u"KORVANE " + toolVersionName, win::MB_OK);

    return options.resultCode;
}

} // namespace qir
