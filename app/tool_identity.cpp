#include "app/tool_identity.h"

#include "app/process_state.h"
#include "firmware/firmware_image.h"

namespace qir {

void initToolIdentity() {
    toolVersionName = kToolVersionPrefix;
    loadWorkingCopy();
    toolVersionName += imageRevision;
}

} // namespace qir
