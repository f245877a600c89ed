// A simulated machine whose drives take firmware pieces at no cost: discovery, the
// drives' identification and the firmware information are the machine's, every
// download and activate request succeeds without reaching a drive. A run on it holds
// in memory only what the tool itself holds, none of a drive's staged image.
#pragma once

#include "bench/counting_platform.h"

namespace qir::bench {

class FreeDownloadPlatform : public CountingPlatform {
  public:
    using CountingPlatform::CountingPlatform;

    bool deviceIoControl(platform::Handle handle, uint32_t controlCode, void* inBuffer,
                         uint32_t inSize, void* outBuffer, uint32_t outSize,
                         uint32_t* bytesReturned) override;

    uint64_t freeRequests = 0;
};

// Exit code of one silent run of the tool on `description` through FreeDownloadPlatform,
// or 2 when the description is refused.
int runWithFreeDownloads(const std::string& description);

} // namespace qir::bench
