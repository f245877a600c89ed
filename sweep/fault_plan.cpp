#include "sweep/fault_plan.h"

#include <algorithm>
#include <map>
#include <random>

namespace qir::sweep {

namespace {

struct KindFaults {
    bool carriesReturnCode = false;
    bool passThrough = false; // a VROC NVMe pass-through with a completion status
    // Odd reply fields: each entry is the JSON body of one "fields" object.
    std::vector<std::string> fields;
};

// Windows errors chosen for a failing call: a device that stops answering, and for an
// open a device held by someone else or refused outright.
constexpr uint32_t kGenFailure = 31;
constexpr uint32_t kInvalidData = 13;
constexpr uint32_t kInsufficientBuffer = 122;

const std::map<sim::RequestKind, KindFaults>& faultTable() {
    // The identify bytes picked here are the ones the tool acts on: the revision that
    // makes a drive a target (64), the firmware update granularity (319), the firmware
    // slot information (260) and the last serial byte (23), which must not break the
    // way a reported disk is matched to its drive.
    static const std::vector<std::string> identifyOdd = {
        R"("identify:64": 88)",   R"("identify:319": 0)", R"("identify:319": 255)",
        R"("identify:319": 128)", R"("identify:260": 0)", R"("identify:23": 0)"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    using K = sim::RequestKind;
    static const std::map<sim::RequestKind, KindFaults> table = {
        {K::GetClassDevs, {}},
        {K::Open, {}},
        {K::GetDeviceNumber,
         {false,
          false,
          {R"("DeviceNumber": 4294967295)", R"("DeviceNumber": 0)", R"("DeviceNumber": 1)",
           R"("DeviceType": 0)", R"("PartitionNumber": 1)"}}},
        {K::StorageQuery,
         {false, false,
          with({R"("Version": 0)", R"("Size": 0)", R"("Size": 2147483647)"}, identifyOdd)}},
        {K::InboxGetInfo,
         {true,
          false,
          {R"("ReturnCode": 1)", R"("DataBufferOffset": 4294967280)", R"("DataBufferOffset": 4000)",
           R"("DataBufferLength": 0)", R"("DataBufferLength": 4294967295)",
           R"("UpgradeSupport": 0)", R"("SlotCount": 0)", R"("SlotCount": 255)",
           R"("ActiveSlot": 0)", R"("ActiveSlot": 255)", R"("PendingActivateSlot": 255)"}}},
        {K::InboxDownload, {true, false, {R"("ReturnCode": 1)"}}},
        {K::InboxActivate, {true, false, {R"("ReturnCode": 1)"}}},
        {K::Csmi,
         {true,
          false,
          {R"("ReturnCode": 1)", R"("bDriveCount": 0)", R"("bDriveCount": 255)",
           R"("bDriveCount": 33)"}}},
        {K::RstIdentify, {true, false, with({R"("ReturnCode": 1)"}, identifyOdd)}},
        {K::RstDownload, {true, false, {R"("ReturnCode": 1)"}}},
        {K::RstActivate, {true, false, {R"("ReturnCode": 1)"}}},
        {K::VrocRaidCount,
         {true,
          false,
          {R"("count": -1)", R"("count": 2147483647)", R"("count": 255)", R"("count": 0)"}}},
        {K::VrocNonRaidCount,
         {true,
          false,
          {R"("count": -1)", R"("count": 2147483647)", R"("count": 255)", R"("count": 0)"}}},
        {K::VrocVolumeInfo,
         {true,
          false,
          {R"("member_count": 4294967295)", R"("member_count": 2147483647)",
           R"("member_count": 255)", R"("member_count": 0)"}}},
        {K::VrocMemberList, {true, false, {R"("ReturnCode": 1)"}}},
        {K::VrocNonRaidList, {true, false, {R"("ReturnCode": 1)"}}},
        {K::VrocIdentify,
         {true, true,
          with({R"("ReturnCode": 1)", R"("CplDw3": 4294967295)"},
               {R"("identify:64": 88)", R"("identify:319": 0)", R"("identify:319": 255)",
                R"("identify:23": 0)"})}},
        {K::VrocDownload, {true, true, {R"("ReturnCode": 1)", R"("CplDw3": 4294967295)"}}},
        {K::VrocCommit, {true, true, {R"("ReturnCode": 1)", R"("CplDw3": 4294967295)"}}},
    };
    return table;
}

std::string head(const TracedRequest& r) {
    return R"({"kind": ")" + std::string(sim::requestKindName(r.kind)) + R"(", "occurrence": )" +
           std::to_string(r.occurrence);
}

std::string labelOf(const TracedRequest& r, const std::string& effect) {
    return sim::requestKindName(r.kind) + ("#" + std::to_string(r.occurrence)) + " " + effect;
}

} // namespace

bool isDownloadKind(sim::RequestKind kind) {
    return kind == sim::RequestKind::InboxDownload || kind == sim::RequestKind::RstDownload ||
           kind == sim::RequestKind::VrocDownload;
}

std::vector<TracedRequest> faultableRequests(const std::vector<std::string>& trace) {
    std::vector<TracedRequest> out;
    std::map<sim::RequestKind, uint32_t> seen;
    for (size_t i = 0; i < trace.size(); ++i) {
        const std::string& line = trace[i];
        // "#12 kind path=... -> ..."
        size_t kindStart = line.find(' ');
        if (kindStart == std::string::npos)
            continue;
        ++kindStart;
        size_t kindEnd = line.find(' ', kindStart);
        std::optional<sim::RequestKind> kind =
            sim::requestKindNamed(line.substr(kindStart, kindEnd - kindStart));
        if (!kind || !faultTable().count(*kind))
            continue;
        TracedRequest r;
        r.kind = *kind;
        r.occurrence = ++seen[*kind];
        r.traceLine = i + 1;
        size_t p = line.find(" path=");
        if (p != std::string::npos) {
            p += 6;
            r.path = line.substr(p, line.find(' ', p) - p);
        }
        out.push_back(r);
    }
    return out;
}

std::vector<FaultCase> faultCasesFor(const TracedRequest& r) {
    std::vector<FaultCase> cases;
    auto found = faultTable().find(r.kind);
    if (found == faultTable().end())
        return cases;
    const KindFaults& k = found->second;
    auto add = [&](const std::string& effect, const std::string& body) {
        cases.push_back({head(r) + ", " + body + "}", labelOf(r, effect)});
    };
    if (r.kind == sim::RequestKind::Open) {
        add("error=5", R"("error": 5)");
        add("error=32", R"("error": 32)");
    } else if (r.kind == sim::RequestKind::GetClassDevs) {
        add("error=13", R"("error": )" + std::to_string(kInvalidData));
    } else {
        add("error=31", R"("error": )" + std::to_string(kGenFailure));
        // A sizing error where the tool sizes nothing must not be taken for a hint to
        // ask again; pieces are not asked about sizes, so downloads are spared it.
        if (!isDownloadKind(r.kind))
            add("error=122", R"("error": )" + std::to_string(kInsufficientBuffer));
    }
    if (k.carriesReturnCode)
        add("return_code=1", R"("return_code": 1)");
    if (k.passThrough) {
        // Internal error, and an invalid image with Do Not Retry set.
        add("completion_status=0x6", R"("completion_status": 6)");
        add("completion_status=0x4107", R"("completion_status": 16647)");
    }
    for (const std::string& f : k.fields)
        add("fields{" + f + "}", R"("fields": {)" + f + "}");
    return cases;
}

std::vector<TracedRequest> requestsToSweep(const std::vector<TracedRequest>& requests,
                                           uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<TracedRequest> out;
    size_t i = 0;
    while (i < requests.size()) {
        if (!isDownloadKind(requests[i].kind)) {
            out.push_back(requests[i++]);
            continue;
        }
        size_t end = i;
        while (end < requests.size() && requests[end].kind == requests[i].kind &&
               requests[end].path == requests[i].path)
            ++end;
        size_t n = end - i;
        if (n <= kLongDownload) {
            out.insert(out.end(), requests.begin() + static_cast<std::ptrdiff_t>(i),
                       requests.begin() + static_cast<std::ptrdiff_t>(end));
        } else {
            // Pieces 3 .. n-2 are the middle; a partial shuffle picks the sample.
            std::vector<size_t> middle;
            for (size_t j = i + 2; j < end - 2; ++j)
                middle.push_back(j);
            size_t take = std::min(kSampledMiddlePieces, middle.size());
            for (size_t j = 0; j < take; ++j) {
                size_t pick = j + rng() % (middle.size() - j);
                std::swap(middle[j], middle[pick]);
            }
            std::vector<size_t> keep = {i, i + 1, end - 2, end - 1};
            keep.insert(keep.end(), middle.begin(),
                        middle.begin() + static_cast<std::ptrdiff_t>(take));
            std::sort(keep.begin(), keep.end());
            for (size_t j : keep)
                out.push_back(requests[j]);
        }
        i = end;
    }
    return out;
}

} // namespace qir::sweep
