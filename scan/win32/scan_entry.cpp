// Entry of qir-scan.exe once the console entry has the wide arguments: the scan on the
// machine it runs on.
#include "platform/entry.h"
#include "platform/platform.h"
#include "scan/scan_main.h"

int qir::programMain(int argc, const char16_t* const* argv) {
    qir::platform::setPlatform(&qir::platform::hostPlatform());
    return qir::scan::scanMain(argc, argv);
}
