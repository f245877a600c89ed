#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "discovery/target_disk.h"
#include "firmware/firmware_image.h"
#include "firmware/inbox_update.h"
#include "firmware/piece_loop.h"
#include "firmware/piece_plan.h"
#include "raid/irst_update.h"
#include "raid/vroc_update.h"
#include "tests/support/console_capture.h"
#include "tests/support/counting_machine.h"

namespace {

using qir::TargetDisk;

struct RouteCase {
    const char* name;
    qir::DriverKind kind;
    std::function<uint32_t(const TargetDisk&, const uint32_t* imageSize)> update;
};

const RouteCase kRoutes[] = {
    {"Inbox", qir::InboxNvme, qir::updateInboxDisk},
    {"Irst", qir::RstNonRaid, qir::updateIrstDisk},
    {"Vroc", qir::VrocNonRaid,
     [](const TargetDisk& t, const uint32_t* size) { return qir::updateVrocDisk(t, size, 0); }},
};

// Every route sends from the working copy; the machine answers every request as sent.
class RouteImageSize : public ::testing::TestWithParam<RouteCase> {
  protected:
    void SetUp() override {
        qir::loadWorkingCopy();
        qir::platform::setPlatform(&machine);
        disk.devicePath = u"\\\\.\\PHYSICALDRIVE1";
        disk.driverKind = GetParam().kind;
        disk.pathId = 3;
        disk.updateGranularity = 64;
    }
    void TearDown() override { qir::platform::setPlatform(nullptr); }

    qir::testing::CountingMachine machine;
    qir::testing::ConsoleCapture console;
    TargetDisk disk;
};

TEST_P(RouteImageSize, ASizePastTheWorkingCopyOrNoneIsRefusedBeforeTheDeviceIsOpened) {
    const uint32_t pastTheCopy = qir::kFirmwareImageSize + 1;
    for (const uint32_t* size : {&pastTheCopy, static_cast<const uint32_t*>(nullptr)}) {
        EXPECT_EQ(GetParam().update(disk, size), 5u);
        EXPECT_EQ(machine.opens, 0);
        EXPECT_EQ(machine.requests, 0);
    }
}

TEST_P(RouteImageSize, TheWorkingCopysOwnSizeIsSent) {
    EXPECT_NE(GetParam().update(disk, &qir::kFirmwareImageSize), 5u);
    EXPECT_GT(machine.requests, 0);
    EXPECT_EQ(machine.opens, machine.closes);
}

INSTANTIATE_TEST_SUITE_P(EveryRoute, RouteImageSize, ::testing::ValuesIn(kRoutes),
                         [](const ::testing::TestParamInfo<RouteCase>& info) {
                             return std::string(info.param.name);
                         });

// A buffer handed to the piece loop must hold a whole piece and its request; one that is
// short by a byte is refused before any piece is written into it.
TEST(PieceLoopBuffer, AShortBufferIsRefusedBeforeAnyPieceIsBuilt) {
    qir::PieceRoute route;
    route.overhead = 64;
    int built = 0;
    route.build = [&](uint8_t*, uint32_t, const uint8_t*, uint32_t length) {
        ++built;
        return qir::PieceRequestSize{length + 64, length + 64};
    };
    route.accepted = [](bool, const uint8_t*) { return true; };
    qir::RequestBuffer shortByOne(qir::pieceSizeOf(8) + route.overhead - 1);
    qir::RequestBuffer none;
    for (qir::RequestBuffer* buffer : {&shortByOne, &none})
        EXPECT_FALSE(qir::sendImagePieces(1, *buffer, 8, qir::kFirmwareImageSize, route));
    EXPECT_EQ(built, 0);
}

} // namespace
