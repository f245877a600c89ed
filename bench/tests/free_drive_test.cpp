#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/console.h"
#include "bench/counting_platform.h"
#include "bench/discard_sink.h"
#include "bench/free_drive_platform.h"
#include "bench/route_cases.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "firmware/firmware_image.h"
#include "firmware/piece_plan.h"

namespace {

using namespace qir;
using namespace qir::bench;

class FreeDriveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        loadWorkingCopy();
        setConsoleSink(&sink);
        platform::setPlatform(&counting);
    }
    void TearDown() override {
        platform::setPlatform(nullptr);
        setConsoleSink(nullptr);
    }
    DiscardSink sink;
    FreeDrivePlatform drive;
    CountingPlatform counting{drive};
};

// A route that fails on this drive, or sends more than one request per piece beside its
// own fixed requests, would make its figure meaningless.
TEST_F(FreeDriveTest, EveryRouteSendsTheWholeImageOnePieceARequest) {
    struct Case {
        Route route;
        uint64_t fixedRequests; // firmware information and activation
    };
    for (const Case& c : {Case{Route::Inbox, 2}, Case{Route::Irst, 1}, Case{Route::Vroc, 1}})
        for (uint32_t granularity : {1u, 3u, 8u, 64u}) {
            SCOPED_TRACE(std::string(routeName(c.route)) + " fwug " + std::to_string(granularity));
            const uint64_t before = counting.counts().deviceRequests;
            EXPECT_EQ(runRoute(c.route, benchTarget(c.route, granularity)), 0u);
            EXPECT_EQ(counting.counts().deviceRequests - before,
                      pieceCountOf(kFirmwareImageSize, pieceSizeOf(granularity)) + c.fixedRequests);
        }
}

TEST_F(FreeDriveTest, FirmwareInformationOutsideTheRequestIsNotWritten) {
    using namespace req::inbox_fw;
    std::vector<uint8_t> request(kOverhead + 64, 0xEE);
    std::memcpy(request.data() + req::srb::kSignature, kSignature, 8);
    putU32(request.data(), Block::kFunction, req::FIRMWARE_FUNCTION_GET_INFO);
    putU32(request.data(), Block::kDataBufferOffset, static_cast<uint32_t>(request.size()) - 8);
    const std::vector<uint8_t> tail(request.end() - 8, request.end());
    uint32_t returned = 0;
    EXPECT_TRUE(drive.deviceIoControl(1, req::IOCTL_SCSI_MINIPORT, request.data(),
                                      static_cast<uint32_t>(request.size()), request.data(),
                                      static_cast<uint32_t>(request.size()), &returned));
    EXPECT_EQ(std::vector<uint8_t>(request.end() - 8, request.end()), tail);
    EXPECT_EQ(getU32(request.data(), req::srb::kReturnCode), 0u);
}

TEST(BaselineLoopTest, LeavesTheLastPieceAloneInAZeroedRequest) {
    loadWorkingCopy();
    for (Route route : {Route::Inbox, Route::Irst, Route::Vroc}) {
        SCOPED_TRACE(routeName(route));
        const uint32_t granularity = 7; // does not divide the image: a short last piece
        const uint32_t pieceSize = pieceSizeOf(granularity);
        std::vector<uint8_t> request(pieceSize + requestOverheadOf(route), 0xEE);
        baselineLoop(request.data(), route, granularity);
        const uint32_t last = kFirmwareImageSize % pieceSize;
        const uint32_t at = pieceOffsetOf(route);
        EXPECT_EQ(std::memcmp(request.data() + at, workingCopy() + kFirmwareImageSize - last, last),
                  0);
        for (size_t i = 0; i < request.size(); ++i) {
            if (i < at || i >= at + last) {
                ASSERT_EQ(request[i], 0) << "byte " << i;
            }
        }
    }
}

} // namespace
