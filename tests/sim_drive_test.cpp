// The NVMe drive model: the checks a drive makes on pieces and commits.
#include <gtest/gtest.h>

#include "sim/nvme_drive.h"
#include "tests/support/sim_test_support.h"

namespace {

using namespace qir;
using namespace qir::sim;

DriveConfig config(uint8_t fwug, bool detectOverlap = false, uint32_t imageSize = 65536) {
    DriveConfig c;
    c.id = "d";
    c.fwug = fwug;
    c.detectOverlap = detectOverlap;
    c.imageSize = imageSize;
    c.slotCount = 2;
    c.revisions = {"OLDREV01", ""};
    return c;
}

struct PieceCase {
    const char* name;
    uint8_t fwug;
    uint64_t offset;
    uint64_t size;
    uint8_t type;
    uint8_t code;
};

class SimDrivePiece : public ::testing::TestWithParam<PieceCase> {};

TEST_P(SimDrivePiece, IsCheckedLikeADriveChecksIt) {
    const PieceCase& c = GetParam();
    NvmeDrive drive(config(c.fwug, false, 65536 + 4096));
    std::vector<uint8_t> data(c.size + 4, 0x5A);
    NvmeStatus s = drive.download(c.offset, data.data(), c.size);
    EXPECT_EQ(s.type, c.type);
    EXPECT_EQ(s.code, c.code);
    EXPECT_EQ(s.doNotRetry, !s.ok());
}

INSTANTIATE_TEST_SUITE_P(Cases, SimDrivePiece,
                         ::testing::Values(PieceCase{"aligned", 0, 0, 4096, 0, 0},
                                           PieceCase{"misaligned_offset", 0, 2, 4096, 0, 0x02},
                                           PieceCase{"misaligned_size", 0, 0, 4094, 0, 0x02},
                                           PieceCase{"empty", 0, 0, 0, 0, 0x02},
                                           PieceCase{"past_the_image", 0, 65536, 8192, 0, 0x02},
                                           PieceCase{"granule", 2, 8192, 8192, 0, 0},
                                           PieceCase{"off_granule_offset", 2, 4096, 8192, 0, 0x02},
                                           PieceCase{"short_not_last", 2, 0, 4096, 0, 0x02},
                                           PieceCase{"short_last", 2, 65536, 4096, 0, 0},
                                           PieceCase{"no_restriction", 0xFF, 4, 4, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimDrive, GranularityBindsOnlyDrivesThatDefineIt) {
    std::vector<uint8_t> data(4096, 1);
    DriveConfig old = config(8);
    old.versionMinor = 2;
    old.versionTertiary = 1;
    EXPECT_TRUE(NvmeDrive(old).download(0, data.data(), 4096).ok());
    EXPECT_FALSE(NvmeDrive(config(8)).download(0, data.data(), 4096).ok());
}

TEST(SimDrive, OverlapIsRefusedOnlyWhenTheDriveDetectsIt) {
    std::vector<uint8_t> data(8192, 1);
    NvmeDrive detecting(config(0, true));
    EXPECT_TRUE(detecting.download(0, data.data(), 8192).ok());
    NvmeStatus s = detecting.download(4096, data.data(), 4096);
    EXPECT_EQ(s.type, 1);
    EXPECT_EQ(s.code, 0x14);
    NvmeDrive tolerant(config(0, false));
    EXPECT_TRUE(tolerant.download(0, data.data(), 8192).ok());
    EXPECT_TRUE(tolerant.download(4096, data.data(), 4096).ok());
}

TEST(SimDrive, CommitNeedsTheWholeImageFromOffsetZero) {
    std::vector<uint8_t> image = qir::testing::testImage("NEWREV99", 65536);
    struct Case {
        const char* name;
        std::vector<std::pair<uint64_t, uint64_t>> pieces;
        bool ok;
    };
    const Case cases[] = {
        {"whole in order", {{0, 32768}, {32768, 32768}}, true},
        {"whole out of order", {{32768, 32768}, {0, 32768}}, true},
        {"short", {{0, 32768}, {32768, 28672}}, false},
        {"gap", {{0, 16384}, {32768, 32768}}, false},
        {"not from zero", {{4096, 61440}}, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        NvmeDrive drive(config(0));
        for (const auto& [off, size] : c.pieces)
            ASSERT_TRUE(drive.download(off, image.data() + off, size).ok()) << c.name;
        CommitResult r = drive.commit(2, 1);
        EXPECT_EQ(r.status.ok(), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(drive.slotRevision(2), "NEWREV99") << c.name;
            EXPECT_EQ(drive.pendingSlot(), 2) << c.name;
            EXPECT_EQ(drive.committedDigest(), imageDigest(image.data(), image.size()));
        } else {
            EXPECT_EQ(r.status.type, 1) << c.name;
            EXPECT_EQ(r.status.code, 0x07) << c.name;
            EXPECT_EQ(drive.slotRevision(2), "") << c.name;
            EXPECT_EQ(drive.pendingSlot(), 0) << c.name;
            EXPECT_EQ(drive.committedDigest(), "") << c.name;
        }
        // A commit consumes the staged image either way.
        EXPECT_EQ(drive.stagedBytes(), 0u) << c.name;
    }
}

TEST(SimDrive, CommitSlotAndActionRules) {
    std::vector<uint8_t> image = qir::testing::testImage("NEWREV99", 65536);
    DriveConfig c = config(0);
    c.slot1ReadOnly = true;
    NvmeDrive drive(c);
    drive.download(0, image.data(), image.size());
    EXPECT_EQ(drive.commit(1, 1).status.code, 0x06); // read-only slot
    drive.download(0, image.data(), image.size());
    EXPECT_EQ(drive.commit(3, 1).status.code, 0x06); // no such slot
    drive.download(0, image.data(), image.size());
    EXPECT_EQ(drive.commit(2, 6).status.code, 0x02);
    drive.download(0, image.data(), image.size());
    EXPECT_TRUE(drive.commit(0, 0).status.ok()); // the drive picks slot 2, no activation
    EXPECT_EQ(drive.slotRevision(2), "NEWREV99");
    EXPECT_EQ(drive.pendingSlot(), 0);
    EXPECT_TRUE(drive.commit(2, 2).status.ok());
    EXPECT_EQ(drive.pendingSlot(), 2);
}

TEST(SimDrive, ImmediateActivationChangesTheReportedRevision) {
    std::vector<uint8_t> image = qir::testing::testImage("NEWREV99", 65536);
    DriveConfig c = config(0);
    c.activation = Activation::Immediate;
    NvmeDrive drive(c);
    drive.download(0, image.data(), image.size());
    CommitResult r = drive.commit(2, 3);
    EXPECT_TRUE(r.status.ok());
    EXPECT_EQ(drive.activeSlot(), 2);
    auto id = drive.identifyController();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&id[64]), 8), "NEWREV99");
    EXPECT_EQ(id[260] & 0x10, 0x10);
}

TEST(SimDrive, StatusFieldKeepsDoNotRetryAboveTheCode) {
    NvmeStatus s = nvmeFailure(1, 0x07);
    EXPECT_EQ(s.field(), 0x4107);
    EXPECT_EQ(NvmeStatus{}.field(), 0);
}

} // namespace
