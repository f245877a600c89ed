// The pre-flight scan on simulated machines: what it reports, that it leaves every drive
// as it was, that its verdicts are what the update then does, its exit codes, and the
// guard that keeps firmware requests from ever leaving it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_routine.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/identification.h"
#include "firmware/firmware_image.h"
#include "firmware/inbox_firmware_info.h"
#include "firmware/inbox_update.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "scan/guard_platform.h"
#include "scan/image_revision.h"
#include "scan/machine_text.h"
#include "scan/report_text.h"
#include "scan/scan.h"
#include "scan/scan_main.h"
#include "scan/scan_result.h"
#include "tests/support/arguments.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/sim_fixture.h"

namespace qir::testing {
namespace {

using nlohmann::json;

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

class ScanTest : public SimFixture {
  protected:
    // The scan with the arguments after argument 0; its JSON, when asked for, lands in
    // the scratch folder's scan.json.
    int scan(std::vector<std::u16string> args = {},
             const DiscoveryOps& ops = productionDiscoveryOps()) {
        ArgumentVector argv(u"qir-scan.exe", std::move(args));
        return scan::scanMain(argv.argc(), argv.argv(), ops);
    }
    int scanWithJson(const DiscoveryOps& ops = productionDiscoveryOps()) {
        return scan({u"/json=" + text::fromUtf8(jsonPath)}, ops);
    }
    json scanJson() { return json::parse(readFileBytes(jsonPath)); }

    ScratchFolder scratch{"qir_scan"};
    const std::string jsonPath = scratch.file("scan.json");
};

// The serials of the drives whose firmware the run committed.
std::set<std::string> updatedSerials(const sim::SimMachine& machine) {
    std::set<std::string> serials;
    for (const sim::NvmeDrive& drive : machine.drives)
        if (drive.commitCount() > 0)
            serials.insert(drive.config().serial);
    return serials;
}

struct ExampleMachine {
    const char* file;
    int exitCode;
    size_t drives;
    size_t problems;
};

class ExampleMachineScan : public ScanTest, public ::testing::WithParamInterface<ExampleMachine> {};

// Every example machine: the report and the JSON agree with each other and with the
// machine, nothing on it changes, and the update run that follows updates exactly the
// drives the scan said it would.
TEST_P(ExampleMachineScan, ReportsWithoutTouchingAndTheUpdateConfirmsIt) {
    const ExampleMachine& c = GetParam();
    const std::string description =
        readFileBytes(std::string(QIR_SOURCE_DIR) + "/sim/machines/" + c.file);
    load(description);
    const std::string before = machine->stateJson();

    EXPECT_EQ(scanWithJson(), c.exitCode);
    EXPECT_EQ(machine->stateJson(), before) << "the scan changed the machine";
    const std::string report = console.take();
    EXPECT_NE(report.find("Result: " + std::to_string(c.exitCode) + " ("), std::string::npos)
        << report;

    const json j = scanJson();
    EXPECT_EQ(j["schema_version"], 3);
    EXPECT_EQ(j["update_running"], false);
    EXPECT_EQ(j["power"], json::parse(R"({"ac_line": "online", "battery_present": false,
                                          "battery_percent": null})"));
    EXPECT_EQ(j["tool_version"], "QIR_TX7Q3_V1.0.0_" + text::toUtf8(scan::builtImageRevision()));
    EXPECT_EQ(j["result"]["exit_code"], c.exitCode);
    EXPECT_EQ(j["drives"].size(), c.drives);
    EXPECT_EQ(j["problems"].size(), c.problems);
    EXPECT_TRUE(j["refused_requests"].empty());
    std::set<std::string> willBeUpdated;
    for (const json& drive : j["drives"]) {
        const std::string serial = trimmed(drive["serial"]);
        EXPECT_NE(
            report.find("serial " + serial + ", revision " + drive["revision"].get<std::string>()),
            std::string::npos)
            << serial;
        EXPECT_NE(report.find(drive["verdict_text"].get<std::string>()), std::string::npos);
        if (drive["verdict"] == "will_be_updated")
            willBeUpdated.insert(serial);
        // Only the inbox driver's firmware information names a waiting image.
        EXPECT_EQ(drive["pending_known"],
                  drive["stack"] == "inbox" && drive["verdict"] == "will_be_updated")
            << serial;
    }

    load(description);
    std::vector<const char16_t*> argv = {u"qir.exe", u"/s", nullptr};
    mainRoutine(2, argv.data());
    EXPECT_EQ(updatedSerials(*machine), willBeUpdated);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleMachineScan,
                         ::testing::Values(ExampleMachine{"default.json", 1, 7, 0},
                                           ExampleMachine{"empty.json", 0, 0, 0},
                                           ExampleMachine{"vroc_non_raid.json", 1, 3, 0},
                                           // Port 1 refuses the open: a problem, listed.
                                           ExampleMachine{"vroc_raid.json", 1, 2, 1}));

// Exit codes 0 and 3 and the verdicts behind them, each on a machine made for it.
struct ExitCase {
    const char* name;
    std::string devices;
    std::string drives;
    int exitCode;
    const char* verdict; // of the first drive, or "" for none
    const char* inReport;
};
// ctest lists a case by its name rather than by the bytes of its record.
void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

std::string imageRevisionText() {
    return text::toUtf8(scan::builtImageRevision());
}

// An eligible drive whose slot 2 holds `revision`, waiting for activation.
std::string pendingDrive(const std::string& id, const std::string& revision) {
    return makerDrive(id, R"(, "slots": {"count": 2, "revisions": ["VDL7W2QA", ")" + revision +
                              R"("], "active": 1, "pending": 2})");
}

std::vector<ExitCase> exitCases() {
    const std::string current = R"(, "firmware": ")" + imageRevisionText() + "\"";
    return {
        {"AllCurrent", inboxDisk(1, "a") + "," + inboxDisk(2, "b"),
         makerDrive("a", current) + "," + makerDrive("b", current), 0, "already_current",
         "already runs "},
        {"NotEligible", inboxDisk(1, "a"), makerDrive("a", R"(, "firmware": "VDL1A2B3")"), 0,
         "not_eligible", "not eligible (revision VDL1A2B3)"},
        {"AccessDenied", inboxDisk(1, "a", R"(, "open_error": 5)"), makerDrive("a"), 3, "",
         scan::kAdministratorHint},
        {"NoUpgradeSupport", inboxDisk(1, "a"), makerDrive("a", R"(, "upgrade_support": false)"), 0,
         "would_be_refused", "eligible but would be refused: the drive reports no firmware"},
        {"EverySlotReadOnly", inboxDisk(1, "a"),
         makerDrive("a", R"(, "slots": {"count": 1, "slot1_read_only": true})"), 0,
         "would_be_refused", "every firmware slot of the drive is read-only"},
        // The image written by an earlier run and waiting for a restart; 1 and 4 rank
        // above it, 3 and 0 below.
        {"RestartPending", inboxDisk(1, "a"), pendingDrive("a", imageRevisionText()), 5,
         "restart_pending", "becomes active with the next restart"},
        {"RestartPendingBesideADriveToUpdate", inboxDisk(1, "a") + "," + inboxDisk(2, "b"),
         pendingDrive("a", imageRevisionText()) + "," + makerDrive("b"), 1, "restart_pending",
         "Result: 1 ("},
        {"RestartPendingBesideAProblem",
         inboxDisk(1, "a") + "," + inboxDisk(2, "b", R"(, "open_error": 5)"),
         pendingDrive("a", imageRevisionText()) + "," + makerDrive("b"), 5, "restart_pending",
         "Result: 5 (nothing to write, a restart is pending)"},
        {"AnotherImagePending", inboxDisk(1, "a"), pendingDrive("a", "VDL8A1QC"), 1,
         "will_be_updated", "will be updated to "},
    };
}

class ScanExitCode : public ScanTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ScanExitCode, FollowsTheVerdicts) {
    const ExitCase& c = GetParam();
    load(machineOf(c.devices, c.drives));
    EXPECT_EQ(scanWithJson(), c.exitCode);
    EXPECT_NE(console.take().find(c.inReport), std::string::npos);
    const json j = scanJson();
    if (*c.verdict) {
        ASSERT_FALSE(j["drives"].empty());
        EXPECT_EQ(j["drives"][0]["verdict"], c.verdict);
        if (j["drives"][0]["verdict"] == "restart_pending") {
            EXPECT_EQ(j["drives"][0]["pending_revision"], imageRevisionText());
        }
    } else {
        EXPECT_TRUE(j["drives"].empty());
        ASSERT_EQ(j["problems"].size(), 1u);
        EXPECT_EQ(j["problems"][0]["windows_error"], win::ERROR_ACCESS_DENIED);
        EXPECT_EQ(j["problems"][0]["hint"], scan::kAdministratorHint);
    }
}

INSTANTIATE_TEST_SUITE_P(Machines, ScanExitCode, ::testing::ValuesIn(exitCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Anything but one /json= with a path that can be written: exit 2, the usage text or the
// path's error, and no device asked.
TEST_F(ScanTest, BadCommandLinesEndWithTwoBeforeAnyDevice) {
    load(machineOf(inboxDisk(1, "a"), makerDrive("a")));
    const std::u16string folder = text::fromUtf8(scratch.path().string());
    const std::vector<std::vector<std::u16string>> cases = {
        {u"/x"},
        {u"/json"},
        {u"/json="},
        {u"/JSON=a.json"},
        {u"/s"},
        {u"scan.json"},
        {u"/json=" + text::fromUtf8(jsonPath), u"/json=" + text::fromUtf8(jsonPath)},
        {u"/json=" + folder},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(scan(args), scan::kExitBadCommandLine) << text::toUtf8(args[0]);
        const std::string out = console.take();
        EXPECT_TRUE(out.find("Usage: qir-scan.exe [/json=<FILEPATH>] [/capture=<FILEPATH>]") !=
                        std::string::npos ||
                    out.find("is invalid file path.") != std::string::npos)
            << out;
    }
    EXPECT_TRUE(machine->trace().empty());
}

// A request that could write firmware, as each route builds it.
struct GuardCase {
    const char* name;
    uint32_t controlCode;
    std::vector<uint8_t> request;
    bool refused;
    uint32_t sentSize = 0; // the input size the request is sent with; 0: all of it
};
void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<uint8_t> miniport(const char (&signature)[9], uint32_t code, uint32_t size) {
    std::vector<uint8_t> r(size, 0);
    putU32(r.data(), req::srb::kHeaderLength, req::srb::kHeaderSize);
    for (int i = 0; i < 8; ++i)
        r[req::srb::kSignature + i] = static_cast<uint8_t>(signature[i]);
    putU32(r.data(), req::srb::kControlCode, code);
    return r;
}

std::vector<uint8_t> inboxRequest(uint32_t function) {
    std::vector<uint8_t> r(4172, 0);
    buildInboxFirmwareRequest(r.data(), static_cast<uint32_t>(r.size()), function);
    return r;
}

std::vector<uint8_t> withU32(std::vector<uint8_t> r, uint32_t offset, uint32_t value) {
    putU32(r.data(), offset, value);
    return r;
}

std::vector<uint8_t> withSize(std::vector<uint8_t> r, size_t size) {
    r.resize(size);
    return r;
}

std::vector<GuardCase> guardCases() {
    using namespace req;
    using Block = inbox_fw::Block;
    const auto irst = miniport(rst_fw::kSignature, rst_fw::kControlCode, 4096);
    const auto rstNvme = miniport(rst_nvme::kSignature, rst_nvme::kControlCode, rst_nvme::kSize);
    const auto vroc = miniport(vroc::kSignature, vroc::kPassThroughCode, vroc::kIdentifySize);
    return {
        {"InboxGetInfo", IOCTL_SCSI_MINIPORT, inboxRequest(FIRMWARE_FUNCTION_GET_INFO), false},
        {"InboxDownload", IOCTL_SCSI_MINIPORT, inboxRequest(FIRMWARE_FUNCTION_DOWNLOAD), true},
        {"InboxActivate", IOCTL_SCSI_MINIPORT, inboxRequest(FIRMWARE_FUNCTION_ACTIVATE), true},
        {"IrstDownload", IOCTL_SCSI_MINIPORT,
         withU32(irst, rst_fw::Block::kFunction, FIRMWARE_FUNCTION_DOWNLOAD), true},
        {"IrstActivate", IOCTL_SCSI_MINIPORT,
         withU32(irst, rst_fw::Block::kFunction, FIRMWARE_FUNCTION_ACTIVATE), true},
        {"IrstIdentify", IOCTL_SCSI_MINIPORT,
         withU32(rstNvme, rst_nvme::kCommandDword0, identify::kOpcode), false},
        {"IrstNvmeCommit", IOCTL_SCSI_MINIPORT,
         withU32(rstNvme, rst_nvme::kCommandDword0, vroc::kFirmwareCommitOpcode), true},
        {"VrocIdentify", IOCTL_SCSI_MINIPORT,
         withU32(vroc, vroc::kCommandOpcode, identify::kOpcode), false},
        {"VrocDownload", IOCTL_SCSI_MINIPORT,
         withU32(vroc, vroc::kCommandOpcode, vroc::kFirmwareDownloadOpcode), true},
        {"VrocCommit", IOCTL_SCSI_MINIPORT,
         withU32(vroc, vroc::kCommandOpcode, vroc::kFirmwareCommitOpcode), true},
        {"TooShortToTell", IOCTL_SCSI_MINIPORT,
         withSize(inboxRequest(FIRMWARE_FUNCTION_GET_INFO), Block::kFunction), true},
        // Cut short before the opcode, the pass-through could carry any command: the
        // Identify opcode beyond what is sent must not let it through.
        {"IrstNvmeCutBeforeItsOpcode", IOCTL_SCSI_MINIPORT,
         withU32(rstNvme, rst_nvme::kCommandDword0, identify::kOpcode), true,
         rst_nvme::kCommandDword0},
        {"VrocCutBeforeItsOpcode", IOCTL_SCSI_MINIPORT,
         withU32(vroc, vroc::kCommandOpcode, identify::kOpcode), true, vroc::kCommandOpcode},
        {"StorageFirmwareDownload", IOCTL_STORAGE_FIRMWARE_DOWNLOAD, std::vector<uint8_t>(64),
         true},
        {"StorageFirmwareActivate", IOCTL_STORAGE_FIRMWARE_ACTIVATE, std::vector<uint8_t>(64),
         true},
        {"StorageProtocolCommand", IOCTL_STORAGE_PROTOCOL_COMMAND, std::vector<uint8_t>(4096),
         true},
        {"StorageQuery", IOCTL_STORAGE_QUERY_PROPERTY, std::vector<uint8_t>(storage_query::kSize),
         false},
    };
}

class GuardRefuses : public SimFixture, public ::testing::WithParamInterface<GuardCase> {};

// Sent through the guard to a real (simulated) drive: a firmware request fails with the
// guard's error, is recorded, and never reaches the drive; anything else goes through.
TEST_P(GuardRefuses, FirmwareRequestsAndOnlyThose) {
    const GuardCase& c = GetParam();
    load(machineOf(inboxDisk(1, "a"), makerDrive("a")));
    scan::GuardPlatform guard(*machine);
    platform::setPlatform(&guard);
    platform::Handle handle =
        guard.createFile(physicalDrive(1), win::GENERIC_READ | win::GENERIC_WRITE,
                         win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING, 0);
    ASSERT_NE(handle, platform::kInvalidHandle);
    std::vector<uint8_t> request = c.request;
    const size_t traced = machine->trace().size();
    const uint32_t size = static_cast<uint32_t>(request.size());
    uint32_t returned = 0;
    const bool ok =
        guard.deviceIoControl(handle, c.controlCode, request.data(), c.sentSize ? c.sentSize : size,
                              request.data(), size, &returned);
    if (c.refused) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(guard.getLastError(), scan::GuardPlatform::kRefusalError);
        ASSERT_EQ(guard.refused().size(), 1u);
        EXPECT_EQ(guard.refused()[0].path, physicalDrive(1));
        EXPECT_EQ(guard.refused()[0].controlCode, c.controlCode);
        EXPECT_EQ(machine->trace().size(), traced) << "the request reached the machine";
    } else {
        EXPECT_TRUE(guard.refused().empty());
        EXPECT_EQ(machine->trace().size(), traced + 1);
    }
    guard.closeHandle(handle);
    platform::setPlatform(machine.get());
    EXPECT_EQ(drive("a").stagedBytes(), 0u);
    EXPECT_EQ(drive("a").commitCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Requests, GuardRefuses, ::testing::ValuesIn(guardCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A scan whose identification went on to update the drive (the bug the guard is there
// for): the download is refused, nothing reaches the drive, and the scan ends with 4.
TEST_F(ScanTest, AnAttemptedUpdateEndsTheScanWithFour) {
    load(machineOf(inboxDisk(1, "a"), makerDrive("a")));
    const std::string before = machine->stateJson();
    DiscoveryOps ops = productionDiscoveryOps();
    ops.identifyInboxDisk = [](TargetDisk disk, DiskList& identified) {
        int result = identifyInboxDisk(disk, identified);
        uint32_t imageSize = kFirmwareImageSize;
        updateInboxDisk(identified.back(), &imageSize);
        return result;
    };
    EXPECT_EQ(scanWithJson(ops), scan::kExitGuardRefused);
    EXPECT_NE(console.take().find("BUG: the scan attempted a firmware request"), std::string::npos);
    EXPECT_EQ(scanJson()["refused_requests"].size(), 1u);
    EXPECT_EQ(machine->stateJson(), before);
}

// 4 > 6 > 1 > 5 > 3 > 0: each code wins over every code after it, whatever else the
// scan found; the power source changes none of them.
TEST(ScanRanking, EachCodeOutranksTheOnesAfterIt) {
    const std::vector<int> ranking = {scan::kExitGuardRefused, scan::kExitUpdateRunning,
                                      scan::kExitWouldUpdate,  scan::kExitRestartPending,
                                      scan::kExitIncomplete,   scan::kExitNothingToDo};
    // The result with the causes of the codes from `first` on.
    auto resultFrom = [&](size_t first) {
        scan::ScanResult r;
        r.power.acLine = scan::PowerSource::AcLine::Offline;
        r.power.batteryPresent = true;
        r.power.batteryPercent = 7;
        for (size_t i = first; i < ranking.size(); ++i) {
            scan::ScannedDrive drive;
            switch (ranking[i]) {
            case scan::kExitGuardRefused:
                r.refused.push_back({u"PHYSICALDRIVE1", "download", 5, 0});
                break;
            case scan::kExitUpdateRunning:
                r.updateRunning = true;
                break;
            case scan::kExitWouldUpdate:
                drive.verdict = scan::Verdict::WillBeUpdated;
                r.drives.push_back(drive);
                break;
            case scan::kExitRestartPending:
                drive.verdict = scan::Verdict::RestartPending;
                r.drives.push_back(drive);
                break;
            case scan::kExitIncomplete:
                r.problems.push_back({u"PHYSICALDRIVE2", "open", 5, 0});
                break;
            }
        }
        return r;
    };
    for (size_t first = 0; first < ranking.size(); ++first)
        EXPECT_EQ(scan::exitCodeOf(resultFrom(first)), ranking[first]) << "from " << first;
}

// What GetSystemPowerStatus reports, as the scan reads it: 255 is "unknown" in each
// field, and a machine without a battery has no charge to tell.
TEST(ScanPower, ReadsTheStatusAsWindowsFillsIt) {
    using Line = scan::PowerSource::AcLine;
    struct Case {
        platform::PowerStatus status;
        Line line;
        std::optional<bool> battery;
        std::optional<int> percent;
        const char* text;
    };
    for (const Case& c : {
             Case{{1, 128, 255},
                  Line::Online,
                  false,
                  std::nullopt,
                  "Power: AC online, no battery\n"},
             Case{{0, 2, 20}, Line::Offline, true, 20, "Power: AC offline, battery 20%\n"},
             Case{{1, 8 | 1, 90}, Line::Online, true, 90, "Power: AC online, battery 90%\n"},
             Case{{1, 0, 255},
                  Line::Online,
                  true,
                  std::nullopt,
                  "Power: AC online, battery charge unknown\n"},
             Case{{255, 255, 255},
                  Line::Unknown,
                  std::nullopt,
                  std::nullopt,
                  "Power: AC unknown, battery unknown\n"},
             // Some firmware reports a charge beside "no battery": there is none to tell.
             Case{{2, 128, 100},
                  Line::Unknown,
                  false,
                  std::nullopt,
                  "Power: AC unknown, no battery\n"},
         }) {
        const scan::PowerSource p = scan::powerSourceOf(c.status);
        EXPECT_EQ(p.acLine, c.line) << c.text;
        EXPECT_EQ(p.batteryPresent, c.battery) << c.text;
        EXPECT_EQ(p.batteryPercent, c.percent) << c.text;
        EXPECT_EQ(scan::powerText(p), c.text);
    }
}

// Another update holds the lock: the scan still lists the drives (it writes nothing),
// ends with 6 and says why; it let go of the lock at once whenever it could take it.
TEST_F(ScanTest, AnUpdateRunningNowEndsTheScanWithSix) {
    const std::string devices = inboxDisk(1, "a");
    const std::string drives = makerDrive("a");
    load(R"({"update_running": true, "power": {"ac_line": "offline", "battery_present": true,
             "battery_percent": 35}, "devices": [)" +
         devices + R"(], "drives": [)" + drives + "]}");
    EXPECT_EQ(scanWithJson(), scan::kExitUpdateRunning);
    const std::string report = console.take();
    EXPECT_NE(report.find("Another update: running now"), std::string::npos) << report;
    EXPECT_NE(report.find("Power: AC offline, battery 35%\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Result: 6 (an update is running now: try again later)"),
              std::string::npos);
    const json j = scanJson();
    EXPECT_EQ(j["update_running"], true);
    EXPECT_EQ(j["power"], json::parse(R"({"ac_line": "offline", "battery_present": true,
                                          "battery_percent": 35})"));
    EXPECT_EQ(j["drives"].size(), 1u);
    EXPECT_EQ(j["result"]["exit_code"], 6);
    EXPECT_EQ(j["result"]["meaning"], "an update is running now: try again later");

    // Free, abandoned or out of reach: nobody is seen running, and nothing stays held.
    for (platform::LockResult free :
         {platform::LockResult::Taken, platform::LockResult::TakenOverAbandoned,
          platform::LockResult::NotPermitted, platform::LockResult::Failed}) {
        load(machineOf(devices, drives));
        machine->freeLockAnswer = free;
        EXPECT_EQ(scanWithJson(), scan::kExitWouldUpdate);
        console.take();
        EXPECT_EQ(scanJson()["update_running"], false);
        EXPECT_EQ(machine->lockAttempts, 1);
        EXPECT_FALSE(machine->lockHeld);
    }
}

} // namespace
} // namespace qir::testing
