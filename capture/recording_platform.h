// A platform that passes every call on to another and keeps the call and its answer, in
// order: what a capture file holds (capture_file.h).
#pragma once

#include "capture/captured_call.h"
#include "platform/forwarding_platform.h"

namespace qir::capture {

class RecordingPlatform : public platform::ForwardingPlatform {
  public:
    explicit RecordingPlatform(platform::Platform& inner) : ForwardingPlatform(inner) {}

    const CallList& calls() const { return calls_; }

    QIR_PLATFORM_OVERRIDES;

  private:
    // Stores the call with its outcome; a failed call also keeps the error the platform
    // reports for it right away.
    void keep(CapturedCall call, bool ok);
    bool keepAnswer(CapturedCall call, bool ok, uint32_t* requiredSize, const uint8_t* buffer,
                    uint32_t bufferSize, const platform::DeviceInfoData* info);

    CallList calls_;
};

} // namespace qir::capture
