#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>

#include "app/console.h"
#include "discovery/identification.h"
#include "firmware/firmware_image.h"
#include "firmware/inbox_update.h"
#include "sim/sim_machine.h"

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

// Every open succeeds and every request is counted, so a request sent without a buffer
// shows up.
class CountingMachine : public qir::sim::SimMachine {
  public:
    int opens = 0;
    int closes = 0;
    int requests = 0;
    qir::platform::Handle createFile(const std::u16string&, uint32_t, uint32_t, uint32_t,
                                     uint32_t) override {
        ++opens;
        return 0x77;
    }
    bool closeHandle(qir::platform::Handle) override {
        ++closes;
        return true;
    }
    bool deviceIoControl(qir::platform::Handle, uint32_t, void*, uint32_t, void*, uint32_t,
                         uint32_t*) override {
        ++requests;
        return true;
    }
};

class DiscardSink : public qir::ByteSink {
  public:
    void write(const char*, size_t) override {}
    void flush() override {}
};

class RequestAllocationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qir::platform::setPlatform(&machine);
        qir::setConsoleSink(&sink);
        failRequestAllocations = true;
    }
    void TearDown() override {
        failRequestAllocations = false;
        qir::setConsoleSink(nullptr);
        qir::platform::setPlatform(nullptr);
    }
    CountingMachine machine;
    DiscardSink sink;
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
