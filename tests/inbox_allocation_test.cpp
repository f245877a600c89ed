#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>

#include "app/console.h"
#include "discovery/identification.h"
#include "firmware/firmware_image.h"
#include "firmware/inbox_update.h"
#include "tests/support/console_capture.h"
#include "tests/support/counting_machine.h"

// Request buffers are taken with the array form; this test binary can make that form
// fail on demand to stand for a machine out of memory. Its memory comes from, and goes
// back to, the single-object form, so the sanitizers see matching pairs.
namespace {
bool failRequestAllocations = false;
}

void* operator new[](std::size_t size) {
    if (failRequestAllocations)
        throw std::bad_alloc();
    return ::operator new(size);
}

void operator delete[](void* memory) noexcept {
    ::operator delete(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    ::operator delete(memory);
}

namespace {

class RequestAllocationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qir::platform::setPlatform(&machine);
        failRequestAllocations = true;
    }
    void TearDown() override {
        failRequestAllocations = false;
        qir::platform::setPlatform(nullptr);
    }
    qir::testing::CountingMachine machine;
    qir::testing::ConsoleCapture console;
};

TEST_F(RequestAllocationTest, NoBufferMeansNoRequestOnAnyPath) {
    qir::TargetDisk disk;
    disk.devicePath = u"\\\\.\\PHYSICALDRIVE1";
    disk.driverKind = qir::InboxNvme;
    qir::DiskList identified;

    EXPECT_EQ(qir::updateInboxDisk(disk, &qir::kFirmwareImageSize), 5u);
    EXPECT_EQ(qir::identifyInboxDisk(disk, identified), 5);
    disk.driverKind = qir::RstNonRaid;
    disk.pathId = 3;
    EXPECT_EQ(qir::identifyRstDisk(disk, identified), 8);

    EXPECT_EQ(machine.requests, 0);
    EXPECT_TRUE(identified.empty());
    EXPECT_EQ(machine.opens, machine.closes);
}

} // namespace
