#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace qir::platform {

namespace {
Platform* current = nullptr;
}

Platform& os() {
    if (!current) {
        std::fputs("internal error: no platform installed\n", stderr);
        std::abort();
    }
    return *current;
}

void setPlatform(Platform* platform) { current = platform; }

} // namespace qir::platform
