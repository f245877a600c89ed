// The last step of a rebuild: every control request of the capture is asked again of the
// machine the models rebuilt, in order, and wherever its answer differs from the recorded
// one the recorded answer is kept in the description (docs/capture.md, "Every question as
// recorded"): a control request's reply as a recorded answer, an open's failure as a fault,
// each bound to its path and occurrence.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "capture/captured_call.h"

namespace qir::sim {

// Adds to `machine` (a description the loader takes) what it needs to answer as recorded;
// false with a reason when the description is refused on the way.
bool keepRecordedAnswers(const capture::CallList& calls, nlohmann::ordered_json* machine,
                         std::string* error);

} // namespace qir::sim
