#include "scan/json_report.h"

#include <nlohmann/json.hpp>

#include "app/updater/disk_updater.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "scan/drive_text.h"
#include "scan/machine_text.h"
#include "scan/report_text.h"

namespace qir::scan {

namespace {

using nlohmann::ordered_json;

ordered_json driveJson(const ScannedDrive& drive, const std::u16string& imageRevision) {
    const TargetDisk& disk = drive.disk;
    const bool raid = disk.driverKind == RstRaid || disk.driverKind == RstNonRaid ||
                      disk.driverKind == VrocRaid || disk.driverKind == VrocNonRaid;
    const bool vroc = disk.driverKind == VrocRaid || disk.driverKind == VrocNonRaid;
    ordered_json j;
    j["stack"] = stackKey(disk.driverKind);
    j["device_path"] = text::toUtf8(disk.devicePath);
    j["path_id"] = raid && disk.pathId >= 0 ? ordered_json(disk.pathId) : ordered_json(nullptr);
    j["vroc_disk_id"] = vroc ? ordered_json(disk.vrocDiskId) : ordered_json(nullptr);
    j["model"] = escapedText(disk.modelNumber);
    j["serial"] = escapedText(disk.serialNumber);
    j["revision"] = escapedText(disk.firmwareRevision);
    j["revision_hex"] = rawBytesHex(disk.firmwareRevision);
    j["update_granularity"] = disk.updateGranularity;
    j["verdict"] = verdictKey(drive.verdict);
    j["verdict_text"] = verdictText(drive, imageRevision);
    j["reason"] = drive.reason.empty() ? ordered_json(nullptr) : ordered_json(drive.reason);
    j["pending_known"] = drive.pendingKnown;
    j["pending_revision"] = drive.pendingRevision.empty()
                                ? ordered_json(nullptr)
                                : ordered_json(escapedText(drive.pendingRevision));
    return j;
}

ordered_json callJson(const DeviceCall& call) {
    ordered_json j;
    j["path"] = text::toUtf8(call.path);
    j["request"] = call.request;
    j["windows_error"] = call.error;
    j["hint"] = call.request == "open" && call.error == win::ERROR_ACCESS_DENIED
                    ? ordered_json(kAdministratorHint)
                    : ordered_json(nullptr);
    return j;
}

ordered_json powerJson(const PowerSource& power) {
    ordered_json j;
    j["ac_line"] = platform::acLineName(power.acLine);
    j["battery_present"] =
        power.batteryPresent ? ordered_json(*power.batteryPresent) : ordered_json(nullptr);
    j["battery_percent"] =
        power.batteryPercent ? ordered_json(*power.batteryPercent) : ordered_json(nullptr);
    return j;
}

} // namespace

std::string jsonReport(const ScanResult& result) {
    ordered_json j;
    j["schema"] = "qir-scan";
    j["schema_version"] = kJsonSchemaVersion;
    j["tool_version"] = toolVersionText(result.imageRevision);
    j["image_revision"] = escapedText(result.imageRevision);
    j["image_revision_hex"] = rawBytesHex(result.imageRevision);
    j["eligible_revisions"] = ordered_json::array();
    for (const char16_t* revision : kEligibleRevisions)
        j["eligible_revisions"].push_back(text::toUtf8(revision));
    j["update_running"] = result.updateRunning;
    j["power"] = powerJson(result.power);
    j["drives"] = ordered_json::array();
    for (const ScannedDrive& drive : result.drives)
        j["drives"].push_back(driveJson(drive, result.imageRevision));
    j["problems"] = ordered_json::array();
    for (const DeviceCall& call : result.problems)
        j["problems"].push_back(callJson(call));
    j["refused_requests"] = ordered_json::array();
    for (const DeviceCall& call : result.refused)
        j["refused_requests"].push_back(callJson(call));
    j["diagnostics"] = result.diagnostics;
    j["result"] = {{"exit_code", result.exitCode}, {"meaning", exitCodeMeaning(result.exitCode)}};
    // Text the drivers hand over may hold bytes that are not UTF-8; they become U+FFFD
    // rather than ending the scan.
    return j.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

} // namespace qir::scan
