#include "scan/scan_main.h"

#include <cstdio>

#include "app/console.h"
#include "app/log_file.h"
#include "platform/host_file.h"
#include "scan/image_revision.h"
#include "scan/json_report.h"
#include "scan/report_text.h"
#include "scan/scan.h"
#include "scan/scan_command_line.h"

namespace qir::scan {

namespace {

bool writeWhole(const std::u16string& path, const std::string& content) {
    std::FILE* file = host::openForWriting(path);
    if (!file)
        return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

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
    if (!options.jsonPath.empty() && !testLogPath(options.jsonPath)) {
        narrowOut() << headerText(revision);
        wideOut() << u"[ERROR] " << options.jsonPath << u" is invalid file path." << endl;
        return kExitBadCommandLine;
    }

    ScanResult result = scanMachine(revision, ops);
    narrowOut() << reportText(result);
    consoleSink().flush();
    if (!options.jsonPath.empty() && !writeWhole(options.jsonPath, jsonReport(result))) {
        wideOut() << u"[ERROR] cannot write " << options.jsonPath << endl;
        // Whoever asked for the file reads an unwritten one as an incomplete scan.
        if (result.exitCode == kExitNothingToDo)
            result.exitCode = kExitIncomplete;
    }
    return result.exitCode;
}

} // namespace qir::scan
