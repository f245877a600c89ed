#include "app/main_routine.h"

#include <string>

#include "app/command_line.h"
#include "app/console.h"
#include "app/process_state.h"
#include "app/run_options.h"
#include "app/run_report.h"
#include "app/timestamp.h"
#include "app/tool_identity.h"
#include "app/update_lock.h"
#include "platform/platform.h"

namespace qir {

namespace {

void printBanner() {
    const std::u16string rule(96, u'=');
    wideOut() << rule << endl;
    wideOut() << toolVersionName << endl;
    wideOut() << u"Firmware update for KORVANE NVMe SSDs. Do not power off during the update."
              << endl;
    wideOut() << rule << endl;
}

} // namespace

int32_t mainRoutine(int argc, const char16_t* const* argv, const DiskUpdaterOps& ops) {
    // A test process runs the routine many times; nothing of an earlier run may leak.
    silentMode = false;
    toolVersionName.clear();
    resetConsoleStreams();

    std::uintptr_t module = platform::os().getModuleHandle();
    if (module == 0)
        formattedOut(u"Fatal Error: GetModuleHandle failed\n");
    else if (!platform::os().frameworkStartup(module, platform::os().getCommandLine(), 0))
        formattedOut(u"Fatal Error: MFC initialization failed\n");

    int32_t result = kResultFailed;
    {
        RunOptions options(ops);
        initToolIdentity();
        printBanner();
        if (parseCommandLine(options, argc, argv)) {
            options.startTime = widenBytes(makeTimestamp());
            wideOut() << endl << u" >> QIR Started " << endl << endl;
            // Held from before discovery until the report is written: two runs sending
            // pieces to the same drive in turns would commit a mixed image. A lock that
            // cannot be had at all (a caller without the right to create global objects,
            // who cannot open the drives either) leaves the run as it always was.
            UpdateLock lock = takeUpdateLock();
            if (lock.result == platform::LockResult::HeldElsewhere) {
                options.otherUpdateRunning = true;
                wideOut() << u"  [ERROR] Another firmware update is running on this machine; "
                             u"no disk was touched. Try again when it has finished."
                          << endl;
            } else {
                options.updater->run(options);
            }
            result = writeRunReport(options, [&lock] { releaseUpdateLock(lock); });
            releaseUpdateLock(lock);
        }
        // The updater and its disk lists go first, before the record's own fields.
        options.updater.reset();
    }
    return result;
}

} // namespace qir
