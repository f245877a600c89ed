// The real Windows behind the platform boundary: each operation is the one Win32 call
// it is named after, with no policy of its own.
#pragma once

#include "platform/platform.h"

namespace qir::win32 {

class Win32Platform : public platform::Platform {
  public:
    QIR_PLATFORM_OVERRIDES;
};

} // namespace qir::win32
