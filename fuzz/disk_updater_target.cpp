#include "app/run_options.h"
#include "app/updater/disk_updater.h"
#include "firmware/firmware_image.h"
#include "fuzz/fuzz_platform.h"
#include "fuzz/fuzz_targets.h"
#include "platform/platform.h"

namespace qir::fuzz {

int runDiskUpdaterInput(const uint8_t* data, size_t size) {
    prepareOnce(loadWorkingCopy);
    FuzzPlatform machine(data, size);
    platform::setPlatform(&machine);
    {
        RunOptions options(productionDiskUpdaterOps());
        options.updater->run(options);
    }
    machine.finishRun();
    platform::setPlatform(nullptr);
    return 0;
}

} // namespace qir::fuzz
