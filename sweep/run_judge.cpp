#include "sweep/run_judge.h"

#include <sstream>

namespace qir::sweep {

namespace {

const char kUpdated[] = "Updated firmware successfully.";
const char kReboot[] = "Downloaded firmware successfully, but firmware activation requires reboot.";
const char kFailed[] = "Unable to update firmware.";

std::string trimEnd(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The text a per-target code must come with.
const char* detailsFor(const std::string& code) {
    if (code == "0")
        return kUpdated;
    if (code == "1602")
        return kReboot;
    return kFailed;
}

bool isSuccessCode(const std::string& code) {
    return code == "0" || code == "1602";
}

bool holdsImage(const sim::NvmeDrive& d, const std::string& image) {
    if (d.committedDigest() != image)
        return false;
    if (d.pendingSlot() > 0 && d.slotDigest(d.pendingSlot()) == image)
        return true;
    return d.slotDigest(d.activeSlot()) == image;
}

} // namespace

ParsedReport parseRunReport(const std::string& logText) {
    ParsedReport r;
    std::vector<std::string> lines = linesOf(logText);
    auto fail = [&](const std::string& why) {
        r.ok = false;
        r.error = why;
        return r;
    };
    if (lines.size() < 3 || !startsWith(lines[0], "Start Time : ") ||
        !startsWith(lines[1], "End Time : ") || !startsWith(lines[2], "Input Command : "))
        return fail("no report head");
    const std::string rc = "Return Code : ";
    const std::string details = "Result Details : ";
    size_t i = 3;
    if (i < lines.size() && lines[i] == "[No Disk]") {
        r.noDisk = true;
        if (i + 3 >= lines.size() || lines[i + 2] != rc + "1" ||
            lines[i + 3] != details + "No disks are available for download.")
            return fail("broken no-disk block");
        i += 4;
    }
    while (i < lines.size() && lines[i].empty() && i + 1 < lines.size() &&
           startsWith(lines[i + 1], "[Disk #")) {
        ReportedDisk d;
        d.number = std::atoi(lines[i + 1].c_str() + 7);
        if (i + 7 >= lines.size())
            return fail("disk block cut short");
        const std::string serial = "Serial Number : ";
        if (!startsWith(lines[i + 3], serial) || !startsWith(lines[i + 6], rc) ||
            !startsWith(lines[i + 7], details))
            return fail("broken block of disk #" + std::to_string(d.number));
        d.serial = trimEnd(lines[i + 3].substr(serial.size()));
        d.returnCode = lines[i + 6].substr(rc.size());
        d.details = lines[i + 7].substr(details.size());
        r.disks.push_back(d);
        i += 8;
    }
    if (i + 3 >= lines.size() || !lines[i].empty() || lines[i + 1] != "[Final Result]" ||
        !startsWith(lines[i + 2], rc) || !startsWith(lines[i + 3], details))
        return fail("no final block");
    r.finalReturnCode = lines[i + 2].substr(rc.size());
    r.finalDetails = lines[i + 3].substr(details.size());
    if (i + 4 != lines.size())
        return fail("text after the final block");
    if (r.noDisk == !r.disks.empty())
        return fail(r.noDisk ? "disk blocks after the no-disk block" : "no disk block at all");
    r.ok = true;
    return r;
}

std::vector<DriveBefore> drivesBefore(const sim::SimMachine& machine) {
    std::vector<DriveBefore> out;
    for (const sim::NvmeDrive& d : machine.drives) {
        std::string revision = d.slotRevision(d.activeSlot());
        out.push_back(
            {d.id(), trimEnd(d.config().serial),
             d.config().vendorId == 0x1D7A && (revision == "VDL7W2QA" || revision == "VDL4J9QB")});
    }
    return out;
}

std::vector<std::string> judgeRun(const RunOutcome& outcome, const sim::SimMachine& machine,
                                  const std::vector<DriveBefore>& before,
                                  const std::string& imageDigest) {
    std::vector<std::string> findings;
    auto find = [&](const std::string& text) { findings.push_back(text); };

    if (machine.openHandles != 0)
        find(std::to_string(machine.openHandles) + " handle(s) left open");
    if (machine.openDeviceInfoSets != 0)
        find(std::to_string(machine.openDeviceInfoSets) + " device information set(s) left open");

    const int32_t exit = outcome.exitCode;
    if (exit != 0 && exit != 1 && exit != 1602)
        find("exit code " + std::to_string(exit));
    const std::string exitText = std::to_string(exit);

    const std::string closing = " >> QIR Ended (Return Code : " + exitText + ")";
    size_t last = outcome.consoleTail.rfind(" >> QIR Ended (Return Code : ");
    if (last == std::string::npos ||
        outcome.consoleTail.compare(last, closing.size(), closing) != 0)
        find("closing console line does not say " + exitText);

    ParsedReport report = parseRunReport(outcome.logText);
    if (!report.ok) {
        find("log file: " + report.error);
        return findings;
    }

    // The run's code from the per-disk codes: any failure wins, then any reboot.
    std::string expected = report.noDisk ? "1" : "0";
    for (const ReportedDisk& d : report.disks) {
        if (d.details != detailsFor(d.returnCode))
            find("disk #" + std::to_string(d.number) + ": code " + d.returnCode +
                 " with the text \"" + d.details + "\"");
        if (!isSuccessCode(d.returnCode))
            expected = "1";
        else if (d.returnCode == "1602" && expected != "1")
            expected = "1602";
    }
    if (report.finalReturnCode != expected)
        find("final code " + report.finalReturnCode + " where the disks give " + expected);
    if (report.finalReturnCode != exitText)
        find("final code " + report.finalReturnCode + " but exit code " + exitText);
    if (report.finalDetails != detailsFor(report.finalReturnCode))
        find("final code " + report.finalReturnCode + " with the text \"" + report.finalDetails +
             "\"");

    // A disk reported as updated must be a drive that holds the whole image.
    for (const ReportedDisk& d : report.disks) {
        if (!isSuccessCode(d.returnCode))
            continue;
        const sim::NvmeDrive* drive = nullptr;
        for (const DriveBefore& b : before)
            if (b.serial == d.serial)
                drive = machine.drive(b.id);
        std::string name = "disk #" + std::to_string(d.number) + " (serial \"" + d.serial + "\")";
        if (!drive)
            find(name + " reported " + d.returnCode + " but no drive has that serial");
        else if (!holdsImage(*drive, imageDigest))
            find(name + " reported " + d.returnCode + " but drive " + drive->id() +
                 " does not hold the image");
    }

    // Only drives the image is meant for may be sent any of it.
    for (const DriveBefore& b : before) {
        const sim::NvmeDrive* drive = machine.drive(b.id);
        if (!b.eligible && drive && (!drive->downloadSizes().empty() || drive->commitCount()))
            find("drive " + b.id + " is no target but was sent firmware");
    }
    return findings;
}

} // namespace qir::sweep
