// The one table of request kinds: every kind goes by one name and back, the classifier
// gives only kinds a recorded answer may name, and the loader reads a description's bytes
// and faults through it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "capture/hex_text.h"
#include "sim/machine_loader.h"
#include "sim/request_kinds.h"
#include "sim/sim_machine.h"

namespace {

using qir::sim::RequestKind;

TEST(SimRequestKinds, EveryKindHasOneNameThatNamesItBack) {
    std::set<std::string> names;
    for (int k = 0; k <= static_cast<int>(RequestKind::Unknown); ++k) {
        const auto kind = static_cast<RequestKind>(k);
        const std::string name = qir::sim::requestKindName(kind);
        EXPECT_TRUE(names.insert(name).second) << name;
        ASSERT_TRUE(qir::sim::requestKindNamed(name)) << name;
        EXPECT_EQ(*qir::sim::requestKindNamed(name), kind) << name;
    }
    EXPECT_FALSE(qir::sim::requestKindNamed("inbox.explode"));
}

TEST(SimRequestKinds, TheClassifierGivesKindsAnAnswerMayName) {
    const uint8_t none[1] = {};
    for (uint32_t code : {0x2D1080u, 0x2D1400u, 0x4D008u, 0x12345u})
        EXPECT_TRUE(qir::sim::toldFromBytes(qir::sim::requestKindOf(code, none, 0))) << code;
    EXPECT_EQ(qir::sim::requestKindOf(0x12345u, none, 0), RequestKind::Other);
    // The drivers' own names for the IRST firmware functions are theirs alone.
    EXPECT_FALSE(qir::sim::toldFromBytes(RequestKind::RstDownload));
    EXPECT_TRUE(qir::sim::writesFirmware(RequestKind::VrocCommit));
    EXPECT_FALSE(qir::sim::writesFirmware(RequestKind::Csmi));
}

TEST(SimRequestKinds, AFaultOfAKindOnlyTheClassifierTellsIsRefused) {
    for (const char* kind : {"inbox.firmware", "rst.nvme", "vroc.unknown", "other", "unknown"}) {
        std::string error;
        EXPECT_FALSE(qir::sim::loadMachine(
            std::string(R"({"faults": [{"kind": ")") + kind + R"(", "error": 1}]})", &error))
            << kind;
        EXPECT_NE(error.find("unknown request kind"), std::string::npos) << error;
    }
}

// Bytes typed into a description take either letter case and blanks anywhere; runs are
// the capture's form and stay refused there, as do odd digits.
TEST(SimRequestKinds, TypedHexReadsAsBefore) {
    std::vector<uint8_t> bytes;
    std::string why;
    ASSERT_TRUE(qir::capture::readTypedHex(" 4B 4f5 2 ", &bytes, &why)) << why;
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x4B, 0x4F, 0x52}));
    EXPECT_FALSE(qir::capture::readTypedHex("00*4", &bytes, &why));
    EXPECT_EQ(why, "not a hexadecimal byte string");
    EXPECT_FALSE(qir::capture::readTypedHex("4B4", &bytes, &why));
    EXPECT_EQ(why, "odd number of hexadecimal digits");
    EXPECT_FALSE(qir::capture::readTypedHex("4G", &bytes, &why));
    EXPECT_EQ(why, "not a hexadecimal byte string");

    std::string error;
    auto m = qir::sim::loadMachine(
        R"({"drives": [{"id": "a", "identify_bytes": [{"offset": 64, "hex": "5A 5a"}]}]})", &error);
    EXPECT_TRUE(m) << error;
}

} // namespace
