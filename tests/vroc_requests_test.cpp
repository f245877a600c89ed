#include <gtest/gtest.h>

#include <vector>

#include "raid/nvme_raid_request.h"
#include "tests/support/raid_request_bytes.h"

namespace {

using qir::testing::expectBuiltAs;
using qir::testing::ExpectedRequest;
using qir::testing::firstDifference;

// NvmeRaidRequest fields: opcode 52, dword 10 at 92, dword 11 at 96, Direction 132,
// DataBufferLen 140, ReturnBufferLen 148, data at 152.
TEST(VrocDownloadRequest, PiecesOfGranularityOneAndSixteen) {
    struct Case {
        uint32_t pieceLength;
        uint32_t offset;
        uint32_t numd;
        uint32_t ofst;
    };
    const Case cases[] = {
        {4096, 0, 1023, 0},
        {4096, 4096, 1023, 1024},
        {4096, 0x23F000, 1023, 588800},
        {65536, 65536, 16383, 16384},
        {65536, 35 * 65536, 16383, 35 * 16384},
        {270336, 2088960, 67583, 522240}, // the short last piece of granularity 255
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> piece(c.pieceLength);
        for (size_t i = 0; i < piece.size(); ++i)
            piece[i] = static_cast<uint8_t>(i ^ (i >> 8));
        ASSERT_EQ(qir::vrocPieceRequestSize(c.pieceLength), c.pieceLength + 160);
        std::vector<uint8_t> request(c.pieceLength + 160, 0);
        qir::buildVrocDownloadRequest(request.data(), 0xA1B2C3D4, c.offset, piece.data(),
                                      c.pieceLength);

        ExpectedRequest expected(c.pieceLength + 160);
        expected.header("NvmeRAID", 30, 0xE0002000, c.pieceLength + 132, 0xA1B2C3D4)
            .u8(52, 0x11)
            .u32(92, c.numd)
            .u32(96, c.ofst)
            .u32(132, 1)
            .u32(140, c.pieceLength)
            .u32(148, 153)
            .copy(152, piece.data(), c.pieceLength);
        EXPECT_EQ(firstDifference(expected.bytes, request.data()), -1) << c.offset;
    }
}

TEST(VrocCommitRequest, ReplacesSlotTwoAndActivatesAtReset) {
    ExpectedRequest expected(153);
    expected.header("NvmeRAID", 30, 0xE0002000, 125, 9)
        .u8(52, 0x10)
        .u32(92, 0x0A)
        .u32(132, 1)
        .u32(148, 153);
    expectBuiltAs(expected, [](uint8_t* request) { qir::buildVrocCommitRequest(request, 9); });
}

TEST(VrocIdentifyRequest, PrefillsItsDataAreaAndCarriesTheDiskId) {
    ExpectedRequest expected(4252);
    expected.header("NvmeRAID", 40, 0xE0002000, 4224, 0x31)
        .u8(52, 0x06)
        .u32(92, 1)
        .u32(132, 2)
        .u32(148, 4252)
        .fill(152, 4096, 0x55);
    expectBuiltAs(expected, [](uint8_t* request) { qir::buildVrocIdentifyRequest(request, 0x31); });
}

TEST(NvmeRaidCompletion, StatusIsDwordThreeWithoutThePhaseTag) {
    struct Case {
        uint32_t dword3;
        uint32_t status;
    };
    const Case cases[] = {
        {0x00010000, 0},     {0x00020000, 1},      {0x00030000, 1},
        {0x02160000, 0x10B}, {0xFFFFFFFF, 0x7FFF},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> request(153, 0);
        ExpectedRequest reply(153);
        reply.u32(128, c.dword3);
        EXPECT_EQ(qir::completionStatusOf(reply.bytes.data()), c.status) << c.dword3;
    }
}

} // namespace
