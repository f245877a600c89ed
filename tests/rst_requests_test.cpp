#include <gtest/gtest.h>

#include <vector>

#include "discovery/csmi_query.h"
#include "raid/irst_requests.h"
#include "tests/support/raid_request_bytes.h"

namespace {

using qir::testing::expectBuiltAs;
using qir::testing::ExpectedRequest;
using qir::testing::firstDifference;

std::vector<uint8_t> patternedPiece(uint32_t length) {
    std::vector<uint8_t> piece(length);
    for (uint32_t i = 0; i < length; ++i)
        piece[i] = static_cast<uint8_t>(i * 7 + 3);
    return piece;
}

TEST(IrstDownloadRequest, A4096BytePieceIsLaidOutByteForByte) {
    const std::vector<uint8_t> piece = patternedPiece(4096);
    ASSERT_EQ(qir::irstDownloadRequestSize(4096), 4184u);
    std::vector<uint8_t> request(4184, 0);
    qir::buildIrstDownloadRequest(request.data(), 0x02, 0x23F000, piece.data(), 4096);

    ExpectedRequest expected(4184);
    expected.header("IntelFw ", 30, 0xF0000040, 4156)
        .u8(28, 1)
        .u8(29, 0x02)
        .u32(32, 1)
        .u32(36, 24)
        .u32(40, 2)
        .u32(44, 1)
        .u32(48, 56)
        .u32(52, 4128)
        .u32(56, 2)
        .u32(60, 32)
        .u64(64, 0x23F000)
        .u64(72, 4096)
        .u8(80, 0xFF)
        .copy(88, piece.data(), 4096);
    EXPECT_EQ(firstDifference(expected.bytes, request.data()), -1);
    // The signature ends in a blank and has no terminator inside the header.
    EXPECT_EQ(request[11], 0x20);
}

TEST(IrstDownloadRequest, AShorterLastPieceShrinksTheRequestAndItsLengths) {
    // 255 x 4 KiB pieces leave 270,336 bytes for the last one.
    const uint32_t last = 270336;
    const std::vector<uint8_t> piece = patternedPiece(last);
    std::vector<uint8_t> request(qir::irstDownloadRequestSize(last), 0);
    ASSERT_EQ(request.size(), last + 88u);
    qir::buildIrstDownloadRequest(request.data(), 0xFF, 2088960, piece.data(), last);

    ExpectedRequest expected(last + 88);
    expected.header("IntelFw ", 30, 0xF0000040, last + 60)
        .u8(28, 1)
        .u8(29, 0xFF)
        .u32(32, 1)
        .u32(36, 24)
        .u32(40, 2)
        .u32(44, 1)
        .u32(48, 56)
        .u32(52, last + 32)
        .u32(56, 2)
        .u32(60, 32)
        .u64(64, 2088960)
        .u64(72, last)
        .u8(80, 0xFF)
        .copy(88, piece.data(), last);
    EXPECT_EQ(firstDifference(expected.bytes, request.data()), -1);
}

TEST(IrstActivateRequest, IsSixtyEightBytesForSlotTwo) {
    ExpectedRequest expected(68);
    expected.header("IntelFw ", 30, 0xF0000040, 40)
        .u8(28, 1)
        .u8(29, 0x07)
        .u32(32, 1)
        .u32(36, 24)
        .u32(40, 3)
        .u32(44, 1)
        .u32(48, 56)
        .u32(52, 12)
        .u32(56, 1)
        .u32(60, 12)
        .u8(64, 2);
    expectBuiltAs(expected, [](uint8_t* request) { qir::buildIrstActivateRequest(request, 0x07); });
}

TEST(CsmiRaidConfigRequest, AsksForRaidSetZeroWithRoomForTheGivenDrives) {
    struct Case {
        uint32_t size;
    };
    // The default two records, and a repeat sized for a five-member volume.
    for (const Case c : {Case{336}, Case{64 + 5 * 136}}) {
        std::vector<uint8_t> request(c.size, 0);
        qir::buildCsmiRaidConfigRequest(request.data(), c.size);
        ExpectedRequest expected(c.size);
        expected.header(std::string("CSMIARY\0", 8), 30, 11, c.size - 28);
        EXPECT_EQ(firstDifference(expected.bytes, request.data()), -1) << c.size;
    }
}

} // namespace
