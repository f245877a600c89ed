#include "app/update_lock.h"

namespace qir {

UpdateLock takeUpdateLock() {
    UpdateLock lock;
    lock.result = platform::os().takeLock(kUpdateLockName, &lock.handle);
    return lock;
}

void releaseUpdateLock(UpdateLock& lock) {
    if (lock.handle == platform::kInvalidHandle)
        return;
    platform::os().releaseLock(lock.handle);
    lock.handle = platform::kInvalidHandle;
}

bool updateRunningNow() {
    UpdateLock lock = takeUpdateLock();
    releaseUpdateLock(lock);
    return lock.result == platform::LockResult::HeldElsewhere;
}

} // namespace qir
