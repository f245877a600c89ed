#include "tests/support/sim_fixture.h"

#include "app/main_routine.h"

namespace {

using namespace qir::testing;

class InboxWholeRunTest : public SimFixture {};

TEST_F(InboxWholeRunTest, EligibleDrivesEndUpHoldingTheImage) {
    const std::string slots =
        R"(, "slots": {"count": 3, "slot1_read_only": true, "revisions": ["VDL7W2QA", "", ""]})";
    std::string otherMaker = inboxDisk(4, "other");
    otherMaker.replace(otherMaker.find("VEN_1D7A"), 8, "VEN_144D");
    load(machineOf(
        inboxDisk(1, "a") + "," + inboxDisk(2, "b") + "," + inboxDisk(3, "old") + "," + otherMaker,
        makerDrive("a", slots + R"(, "fwug": 8)") + "," +
            makerDrive("b", slots + R"(, "fwug": 255, "activation": "power_cycle")") + "," +
            makerDrive("old", R"(, "firmware": "VDL1A1QA")") + "," + makerDrive("other")));
    const char16_t* argv[] = {u"qir.exe", u"/s"};
    EXPECT_EQ(qir::mainRoutine(2, argv), 0);

    const std::string image = qir::sim::imageDigest(qir::firmwareImage(), qir::kFirmwareImageSize);
    for (const char* id : {"a", "b"}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(drive(id).pendingSlot(), 2);
        EXPECT_EQ(drive(id).slotDigest(2), image);
    }
    EXPECT_EQ(drive("a").downloadSizes().size(), 72u);
    EXPECT_EQ(drive("b").downloadSizes().size(), 3u);
    for (const char* id : {"old", "other"}) {
        EXPECT_TRUE(drive(id).downloadSizes().empty()) << id;
        EXPECT_EQ(drive(id).commitCount(), 0) << id;
    }
    EXPECT_EQ(machine->requestCount("storage_query"), 3);
    EXPECT_FALSE(machine->messageBoxShown.has_value());
}

} // namespace
