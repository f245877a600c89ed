// The machine-wide lock that lets one firmware update run at a time: two processes
// sending pieces of an image to the same drive in turns would commit a mixed image.
#pragma once

#include "platform/platform.h"

namespace qir {

// In the Global namespace, so that every logon session and SYSTEM share it.
inline constexpr char16_t kUpdateLockName[] = u"Global\\KORVANE-QIR-FirmwareUpdate";

struct UpdateLock {
    platform::LockResult result = platform::LockResult::Failed;
    platform::Handle handle = platform::kInvalidHandle;
};

// Tries the lock without waiting.
UpdateLock takeUpdateLock();
// Lets go of a lock that was taken; nothing for one that was not.
void releaseUpdateLock(UpdateLock& lock);

// Whether another process holds the lock now, found by trying it and letting go at once.
// A lock that the caller may not even look at, or that cannot be tried, counts as none
// running: the caller cannot tell.
bool updateRunningNow();

} // namespace qir
