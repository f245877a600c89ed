#include "scan/scan_main.h"

#include "app/console.h"
#include "app/log_file.h"
#include "capture/capture_file.h"
#include "capture/recording_platform.h"
#include "platform/host_file.h"
#include "scan/image_revision.h"
#include "scan/json_report.h"
#include "scan/report_text.h"
#include "scan/scan.h"
#include "scan/scan_command_line.h"

namespace qir::scan {

int scanMain(int argc, const char16_t* const* argv, const DiscoveryOps& ops) {
    resetConsoleStreams();
    const std::u16string revision = builtImageRevision();
    ScanOptions options;
    if (!parseScanCommandLine(argc, argv, &options)) {
        narrowOut() << headerText(revision) << scanUsageText();
        consoleSink().flush();
        return kExitBadCommandLine;
    }
    // As qir.exe does with its log: a file that cannot be written is known before any
    // device is asked.
    for (const std::u16string* path : {&options.jsonPath, &options.capturePath}) {
        if (!path->empty() && !testLogPath(*path)) {
            narrowOut() << headerText(revision);
            wideOut() << u"[ERROR] " << *path << u" is invalid file path." << endl;
            return kExitBadCommandLine;
        }
    }

    // The recorder stands between the guard and the machine: the capture holds what the
    // machine was asked and answered, nothing the guard kept from it.
    platform::Platform& machine = platform::os();
    capture::RecordingPlatform recorder(machine);
    if (!options.capturePath.empty())
        platform::setPlatform(&recorder);
    ScanResult result = scanMachine(revision, ops);
    platform::setPlatform(&machine);
    narrowOut() << reportText(result);
    consoleSink().flush();
    auto written = [&](const std::u16string& path, const std::string& content) {
        if (path.empty() || host::writeWholeFile(path, content))
            return;
        wideOut() << u"[ERROR] cannot write " << path << endl;
        // Whoever asked for the file reads an unwritten one as an incomplete scan.
        if (result.exitCode == kExitNothingToDo)
            result.exitCode = kExitIncomplete;
    };
    written(options.jsonPath, jsonReport(result));
    if (!options.capturePath.empty()) {
        // The machine's clock goes into the header, not the calls: the scan itself never
        // asks the time, and a machine rebuilt from the capture runs on it.
        capture::CaptureHeader header = capture::headerOfThisHost();
        header.localTime = capture::localTimeText(machine.localTime());
        written(options.capturePath, capture::captureText(header, recorder.calls()));
    }
    return result.exitCode;
}

} // namespace qir::scan
