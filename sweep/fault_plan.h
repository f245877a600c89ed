// Which single faults the sweep injects into a machine: read from the trace of an
// undisturbed run, one or more fault classes per request, with long downloads sampled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/request_kinds.h"

namespace qir::sweep {

// One request of a recorded trace that a fault can take the place of.
struct TracedRequest {
    sim::RequestKind kind = sim::RequestKind::Other;
    uint32_t occurrence = 0; // 1-based among the requests of this kind
    std::string path;
    size_t traceLine = 0; // 1-based, 0 for requests the trace does not show
};

// Requests of the trace whose kind the machine can fault, in trace order. Lines that
// never reached a driver (refused calls) and kinds without faults are left out.
std::vector<TracedRequest> faultableRequests(const std::vector<std::string>& trace);

// One fault to inject: the JSON text of a "faults" entry and a short name for reports.
struct FaultCase {
    std::string json;
    std::string label;
};

// Every fault class that applies to a request of this kind: a failing call, a non-zero
// ReturnCode, a failing completion status and the odd reply fields of the kind.
std::vector<FaultCase> faultCasesFor(const TracedRequest& request);

// Downloads longer than this many pieces are sampled instead of swept piece by piece.
inline constexpr size_t kLongDownload = 128;
inline constexpr size_t kSampledMiddlePieces = 16;

// The requests to sweep: all of them, except that in each run of more than
// kLongDownload consecutive download pieces only the first two, the last two and
// kSampledMiddlePieces pieces chosen from the rest by `seed` are kept.
std::vector<TracedRequest> requestsToSweep(const std::vector<TracedRequest>& requests,
                                           uint32_t seed);

bool isDownloadKind(sim::RequestKind kind);

} // namespace qir::sweep
