// A platform that answers every call from a capture, in the recorded order, and notes
// the first call that is not the one the capture holds at that place: the proof that a
// tool (or a revision of it) asks a machine exactly the questions it was recorded
// asking. After a difference every call fails, so the tool still runs to an end.
#pragma once

#include <string>

#include "capture/captured_call.h"
#include "platform/platform.h"

namespace qir::capture {

class ReplayPlatform : public platform::Platform {
  public:
    explicit ReplayPlatform(CallList calls) : calls_(std::move(calls)) {}

    // Empty when every recorded call was asked, in order and nothing more; else the
    // first difference, naming the call's place in the capture.
    std::string difference() const;
    size_t callsAnswered() const { return next_; }

    QIR_PLATFORM_OVERRIDES;

  private:
    // The recorded call that answers this question, or nullptr once the replay has left
    // the record.
    const CapturedCall* answer(const CapturedCall& asked);
    void copyOut(const std::vector<uint8_t>& bytes, void* buffer, uint32_t size) const;

    CallList calls_;
    size_t next_ = 0;
    std::string difference_;
};

} // namespace qir::capture
