#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "sim/machine_loader.h"
#include "sweep/fault_plan.h"

namespace {

using qir::sim::RequestKind;
using qir::sweep::FaultCase;
using qir::sweep::TracedRequest;

TEST(SweepFaultPlan, TraceLinesBecomeRequestsCountedPerKind) {
    const std::vector<std::string> trace = {
        "#1 open path=\\\\.\\Scsi0: access=0xC0000000 -> handle=0x100",
        "#2 unknown path=\\\\.\\Scsi0: code=0x4D008 in=32 out=32 -> fail err=1",
        "#3 call path=\\\\.\\Scsi0: code=0x4D008 in=0 out=0 -> fail err=87 (no buffer)",
        "#4 open path=\\\\.\\Scsi2: access=0xC0000000 -> handle=0x104",
        "#5 vroc.download path=\\\\.\\Scsi2: code=0x4D008 -> ok",
        "#6 vroc.download path=\\\\.\\Scsi2: code=0x4D008 -> ok",
        "#7 vroc.commit path=\\\\.\\Scsi2: code=0x4D008 -> ok",
    };
    std::vector<TracedRequest> r = qir::sweep::faultableRequests(trace);
    ASSERT_EQ(r.size(), 5u);
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"open", 1}, {"open", 2}, {"vroc.download", 1}, {"vroc.download", 2}, {"vroc.commit", 1}};
    for (size_t i = 0; i < r.size(); ++i) {
        EXPECT_EQ(qir::sim::requestKindName(r[i].kind), expected[i].first) << i;
        EXPECT_EQ(r[i].occurrence, expected[i].second) << i;
    }
    EXPECT_EQ(r[1].path, "\\\\.\\Scsi2:");
    EXPECT_EQ(r[1].traceLine, 4u);
}

std::vector<TracedRequest> download(RequestKind kind, const std::string& path, size_t n,
                                    uint32_t first = 1) {
    std::vector<TracedRequest> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back({kind, first + static_cast<uint32_t>(i), path, 0});
    return out;
}

TEST(SweepFaultPlan, ShortDownloadsAreSweptWhole) {
    std::vector<TracedRequest> all = {{RequestKind::Open, 1, "a", 0}};
    auto pieces = download(RequestKind::InboxDownload, "a", qir::sweep::kLongDownload);
    all.insert(all.end(), pieces.begin(), pieces.end());
    all.push_back({RequestKind::InboxActivate, 1, "a", 0});
    EXPECT_EQ(qir::sweep::requestsToSweep(all, 1).size(), all.size());
}

TEST(SweepFaultPlan, LongDownloadKeepsBothEndsAndASeededSample) {
    std::vector<TracedRequest> all = {{RequestKind::Open, 1, "p", 0}};
    auto pieces = download(RequestKind::VrocDownload, "p", 576);
    all.insert(all.end(), pieces.begin(), pieces.end());
    all.push_back({RequestKind::VrocCommit, 1, "p", 0});

    std::vector<TracedRequest> kept = qir::sweep::requestsToSweep(all, 7);
    ASSERT_EQ(kept.size(), 2 + 4 + qir::sweep::kSampledMiddlePieces);
    EXPECT_EQ(kept.front().kind, RequestKind::Open);
    EXPECT_EQ(kept.back().kind, RequestKind::VrocCommit);
    std::vector<uint32_t> piece;
    for (const TracedRequest& r : kept)
        if (r.kind == RequestKind::VrocDownload)
            piece.push_back(r.occurrence);
    ASSERT_EQ(piece.size(), 4 + qir::sweep::kSampledMiddlePieces);
    EXPECT_EQ(piece[0], 1u);
    EXPECT_EQ(piece[1], 2u);
    EXPECT_EQ(piece[piece.size() - 2], 575u);
    EXPECT_EQ(piece.back(), 576u);
    EXPECT_EQ(std::set<uint32_t>(piece.begin(), piece.end()).size(), piece.size())
        << "a piece sampled twice";
    for (size_t i = 1; i < piece.size(); ++i)
        EXPECT_LT(piece[i - 1], piece[i]) << "kept out of trace order";

    auto occurrences = [](const std::vector<TracedRequest>& v) {
        std::vector<uint32_t> o;
        for (const TracedRequest& r : v)
            o.push_back(r.occurrence);
        return o;
    };
    EXPECT_EQ(occurrences(qir::sweep::requestsToSweep(all, 7)), occurrences(kept));
    EXPECT_NE(occurrences(qir::sweep::requestsToSweep(all, 8)), occurrences(kept));
}

TEST(SweepFaultPlan, DownloadsToTwoDrivesAreSampledApart) {
    // Two long downloads back to back on different handles: each keeps its own ends.
    auto all = download(RequestKind::RstDownload, "x", 300);
    auto second = download(RequestKind::RstDownload, "y", 300, 301);
    all.insert(all.end(), second.begin(), second.end());
    std::set<uint32_t> kept;
    for (const TracedRequest& r : qir::sweep::requestsToSweep(all, 3))
        kept.insert(r.occurrence);
    for (uint32_t ends : {1u, 2u, 299u, 300u, 301u, 302u, 599u, 600u})
        EXPECT_TRUE(kept.count(ends)) << ends;
}

// Every fault the sweep builds must be one the machine accepts, or the sweep would
// stop at the first request of that kind instead of testing it.
TEST(SweepFaultPlan, EveryFaultOfEveryKindIsAcceptedByTheMachine) {
    const std::vector<std::string> kinds = {"get_class_devs",      "open",
                                            "get_device_number",   "storage_query",
                                            "inbox.get_info",      "inbox.download",
                                            "inbox.activate",      "csmi",
                                            "rst.identify",        "rst.download",
                                            "rst.activate",        "vroc.raid_count",
                                            "vroc.volume_info",    "vroc.member_list",
                                            "vroc.non_raid_count", "vroc.non_raid_list",
                                            "vroc.identify",       "vroc.download",
                                            "vroc.commit"};
    for (const std::string& kind : kinds) {
        std::vector<FaultCase> cases =
            qir::sweep::faultCasesFor({*qir::sim::requestKindNamed(kind), 3, "", 0});
        ASSERT_FALSE(cases.empty()) << kind;
        std::set<std::string> labels;
        for (const FaultCase& c : cases) {
            SCOPED_TRACE(c.label);
            EXPECT_TRUE(labels.insert(c.label).second) << "label given twice";
            std::string error;
            auto m = qir::sim::loadMachine(R"({"faults": [)" + c.json + "]}", &error);
            ASSERT_TRUE(m) << error;
            ASSERT_EQ(m->faults.size(), 1u);
            EXPECT_EQ(qir::sim::requestKindName(m->faults[0].kind), kind);
            EXPECT_EQ(m->faults[0].occurrence, 3u);
        }
    }
}

TEST(SweepFaultPlan, FaultClassesPerKind) {
    auto has = [](const std::string& kind, const std::string& label) {
        for (const FaultCase& c :
             qir::sweep::faultCasesFor({*qir::sim::requestKindNamed(kind), 1, "", 0}))
            if (c.label == kind + "#1 " + label)
                return true;
        return false;
    };
    EXPECT_TRUE(has("open", "error=5"));
    EXPECT_FALSE(has("open", "return_code=1"));
    EXPECT_TRUE(has("rst.download", "error=31"));
    EXPECT_TRUE(has("rst.download", "return_code=1"));
    EXPECT_FALSE(has("rst.download", "completion_status=0x6"));
    EXPECT_FALSE(has("rst.download", "error=122"));
    EXPECT_TRUE(has("storage_query", "error=122"));
    EXPECT_FALSE(has("storage_query", "return_code=1"));
    EXPECT_TRUE(has("vroc.commit", "completion_status=0x4107"));
    EXPECT_TRUE(has("inbox.get_info", R"(fields{"SlotCount": 255})"));
    EXPECT_TRUE(has("csmi", R"(fields{"bDriveCount": 255})"));
    EXPECT_TRUE(has("vroc.non_raid_count", R"(fields{"count": -1})"));
    EXPECT_TRUE(qir::sweep::faultCasesFor({RequestKind::VrocUnknown, 1, "", 0}).empty());
}

} // namespace
