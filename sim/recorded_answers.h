// Answers a machine gives as they were recorded (docs/simulator.md, "Recorded answers"):
// the reply of one control request, named by its path, its kind and its occurrence, that
// takes the place of whatever the driver and drive models answer. A machine rebuilt from
// a capture holds one wherever the models would answer otherwise.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "sim/request_kinds.h"

namespace qir::sim {

struct RecordedAnswer {
    std::u16string path;                      // as the handle was opened (any letter case)
    RequestKind request = RequestKind::Other; // as requestKindOf tells it
    uint32_t occurrence = 1;  // among the requests of that kind on that path, 1-based
    uint32_t error = 0;       // 0: the call succeeded
    std::vector<uint8_t> out; // the first `returned` bytes of the reply
};

class RecordedAnswers {
  public:
    std::vector<RecordedAnswer> list;

    // Counts the request and returns the answer recorded for it, if any.
    const RecordedAnswer* take(const std::u16string& path, RequestKind kind);

  private:
    std::map<std::string, uint32_t> asked_;
};

// A path as requests and answers are matched by it: upper case, as UTF-8.
std::string pathKey(const std::u16string& path);

// Reads the description's "answers" array; false and a reason naming the entry when an
// entry is not one.
bool readRecordedAnswers(const nlohmann::json& list, std::vector<RecordedAnswer>* answers,
                         std::string* error);

} // namespace qir::sim
