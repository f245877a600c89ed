#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/identification.h"

namespace {

struct GranularityCase {
    uint16_t major;
    uint8_t minor;
    uint8_t fwug;
    uint32_t expected;
};

class UpdateGranularityTest : public ::testing::TestWithParam<GranularityCase> {};

TEST_P(UpdateGranularityTest, FollowsVersionAndReportedValue) {
    const GranularityCase& c = GetParam();
    std::vector<uint8_t> identify(qir::req::identify::kSize, 0);
    qir::putU8(identify.data(), qir::req::identify::kVersionMinor, c.minor);
    qir::putU16(identify.data(), qir::req::identify::kVersionMajor, c.major);
    qir::putU8(identify.data(), qir::req::identify::kUpdateGranularity, c.fwug);
    // The tertiary version byte must not count.
    qir::putU8(identify.data(), 80, 9);
    EXPECT_EQ(qir::updateGranularityOf(identify.data()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, UpdateGranularityTest,
    ::testing::Values(GranularityCase{1, 3, 8, 8},     // 1.3: the drive's own value
                      GranularityCase{1, 2, 8, 1},     // exactly 1.2 predates the field
                      GranularityCase{1, 4, 0, 1},     // no information
                      GranularityCase{1, 0, 8, 1},     // 1.0
                      GranularityCase{2, 0, 16, 16},   // a major above 1
                      GranularityCase{1, 3, 255, 255}, // no restriction, kept as reported
                      GranularityCase{0, 25, 4, 4},    // 2.5 by the minor byte alone
                      GranularityCase{0, 12, 4, 1}));  // 1.2 by the minor byte alone

} // namespace
