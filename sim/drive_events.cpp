// What a drive does with the resets between runs. The NVMe base specification has a
// firmware image committed with "activate at the next reset" (commit actions 001b and
// 010b) become the running firmware at the next Controller Level Reset, unless the
// controller reported that the activation needs an NVM Subsystem Reset or a power cycle;
// portions of an image downloaded with Firmware Image Download and not yet committed
// may be discarded by a Controller Level Reset, and do not survive a loss of power.
#include "sim/nvme_drive.h"

namespace qir::sim {

void NvmeDrive::controllerReset() {
    // A drive that needs a power cycle keeps its pending slot through a warm restart:
    // the reboot that Windows does is a Controller Level Reset, not a power cycle.
    if (pendingSlot_ != 0 && config_.activation != Activation::PowerCycle) {
        activeSlot_ = pendingSlot_;
        pendingSlot_ = 0;
    }
    stagedRanges_.clear();
    staging_.clear();
}

void NvmeDrive::powerCycle() {
    if (pendingSlot_ != 0) {
        activeSlot_ = pendingSlot_;
        pendingSlot_ = 0;
    }
    stagedRanges_.clear();
    staging_.clear();
}

} // namespace qir::sim
