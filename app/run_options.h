// The run's one record of options and results, a local of the main routine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/updater/disk_updater.h"
#include "discovery/target_disk.h"

namespace qir {

struct RunOptions {
    explicit RunOptions(const DiskUpdaterOps& ops = productionDiskUpdaterOps())
        : updater(std::make_unique<DiskUpdater>(ops)) {}

    DiskList targets;
    std::unique_ptr<DiskUpdater> updater;
    std::u16string silentOption = u"/s";
    std::u16string logOption = u"/log";
    std::u16string logPath;
    std::u16string inputCommand;
    std::u16string startTime;
    std::u16string endTime;
    int32_t resultCode = 0;
    // Another process held the update lock: this run touched no disk.
    bool otherUpdateRunning = false;
};

} // namespace qir
