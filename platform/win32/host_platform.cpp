#include "platform/platform.h"
#include "platform/win32/win32_platform.h"

namespace qir::platform {

Platform& hostPlatform() {
    static win32::Win32Platform platform;
    return platform;
}

} // namespace qir::platform
