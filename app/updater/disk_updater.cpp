#include "app/updater/disk_updater.h"

#include "app/run_options.h"

namespace qir {

// Placeholder until the updater lands.
void DiskUpdater::run(RunOptions&) {}

} // namespace qir
