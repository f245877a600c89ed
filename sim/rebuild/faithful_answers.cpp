#include "sim/rebuild/faithful_answers.h"

#include <map>

#include "capture/capture_file.h"
#include "sim/request_kinds.h"

namespace qir::sim {

namespace {

using capture::CapturedCall;
using capture::Op;

bool failed(const CapturedCall& c) {
    return c.op == Op::CreateFile ? c.result == platform::kInvalidHandle : !c.ok;
}

// A recorded reply that no machine gives back byte for byte: more or fewer bytes than the
// count it reports, or a failure that named no error.
bool answerableAsRecorded(const CapturedCall& c) {
    return c.out.size() == c.returned && (c.ok || c.error != 0);
}

} // namespace

std::string firstUnfaithfulAnswer(const capture::CallList& recorded,
                                  const capture::CallList& again) {
    // Handles and device sets are the machine's own numbers: those of `again` stand for
    // the recorded ones they were given in their place.
    std::map<int64_t, int64_t> handles, sets;
    auto renamed = [&](CapturedCall c) {
        std::map<int64_t, int64_t>& names =
            c.op == Op::CreateFile || c.op == Op::DeviceIoControl || c.op == Op::CloseHandle
                ? handles
                : sets;
        if (auto it = names.find(c.target); it != names.end())
            c.target = it->second;
        return c;
    };
    for (size_t i = 0; i < recorded.size() && i < again.size(); ++i) {
        const CapturedCall& r = recorded[i];
        CapturedCall a = renamed(again[i]);
        if (r.op != a.op || capture::questionText(r) != capture::questionText(a))
            return {}; // the two part here; the record answers nothing further
        std::string where = "calls[" + std::to_string(i) + "] (" + capture::opName(r.op) + ")";
        if (r.op == Op::GetClassDevs && !failed(r) && !failed(a))
            sets[again[i].result] = r.result;
        if (r.op == Op::CreateFile) {
            if (failed(r) != failed(a) || (failed(r) && r.error != a.error))
                return where + ": the open was answered otherwise";
            if (!failed(r))
                handles[again[i].result] = r.result;
        }
        if (r.op != Op::DeviceIoControl || !answerableAsRecorded(r) ||
            writesFirmware(requestKindOf(r.number, r.buffer ? r.in.data() : nullptr,
                                         r.buffer ? r.in.size() : 0)))
            continue;
        if (r.ok != a.ok || (!r.ok && r.error != a.error) || r.returned != a.returned ||
            r.out != a.out)
            return where + ": the request was answered otherwise";
    }
    return {};
}

} // namespace qir::sim
