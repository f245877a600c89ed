// Whether a machine rebuilt from a capture answered as recorded (docs/capture.md, "Every
// question as recorded"): a recording of a run on the rebuilt machine held against the
// capture it was rebuilt from, question for question, as far as the two ask the same.
#pragma once

#include <string>

#include "capture/captured_call.h"

namespace qir::sim {

// Empty when every control request and open that the two recordings ask alike is answered
// alike; else which call of `again` was answered otherwise, and how.
std::string firstUnfaithfulAnswer(const capture::CallList& recorded,
                                  const capture::CallList& again);

} // namespace qir::sim
