#include "tests/support/sim_fixture.h"

#include <vector>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/identification.h"
#include "discovery/nvme_enumeration.h"
#include "firmware/inbox_update.h"

namespace {

using namespace qir::testing;

const char kSlot1ReadOnly[] =
    R"(, "slots": {"count": 3, "slot1_read_only": true, "revisions": ["VDL7W2QA", "", ""]})";

// A machine's faults and its drive's keys, and the result the route gives there.
struct Outcome {
    std::string faults;
    std::string drive;
    uint32_t result;
};

class InboxUpdateTest : public SimFixture {
  protected:
    // One inbox disk on PHYSICALDRIVE1 holding drive "d" (slot 1 read-only by default).
    void loadDrive(const std::string& faults, const std::string& driveExtra = kSlot1ReadOnly) {
        load(machineOf(inboxDisk(1, "d"), makerDrive("d", driveExtra), faults));
    }
    uint32_t update(uint32_t granularity) {
        qir::TargetDisk target;
        target.devicePath = physicalDrive(1);
        target.driverKind = qir::InboxNvme;
        target.modelNumber = u"KORVANE TX7Q3 1TB";
        target.updateGranularity = granularity;
        return qir::updateInboxDisk(target, &qir::kFirmwareImageSize);
    }
    int requests(const std::string& kind) { return machine->requestCount("inbox." + kind); }
    void expectHoldsImage(const char* id, int slot) {
        EXPECT_EQ(drive(id).pendingSlot(), slot);
        EXPECT_EQ(drive(id).slotDigest(slot),
                  qir::sim::imageDigest(qir::firmwareImage(), qir::kFirmwareImageSize));
    }
};

TEST_F(InboxUpdateTest, WholeImageAndNothingMoreReachesThePendingSlot) {
    struct Case {
        uint32_t granularity;
        std::vector<uint64_t> sizes;
        std::string fullRequest;
    } cases[] = {
        {1, std::vector<uint64_t>(576, 4096), " in=4172 out=4172 "},
        // Piece sizes that do not divide the image: the last piece is the rest.
        {255, {1044480, 1044480, 270336}, " in=1044556 out=1044556 "},
        {5, std::vector<uint64_t>(115, 20480), " in=20556 out=20556 "},
    };
    cases[2].sizes.push_back(4096);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.granularity);
        loadDrive("",
                  std::string(kSlot1ReadOnly) + R"(, "fwug": )" + std::to_string(c.granularity));
        EXPECT_EQ(update(c.granularity), 0u);
        EXPECT_EQ(drive("d").downloadSizes(), c.sizes);
        EXPECT_EQ(requests("get_info"), 1);
        EXPECT_EQ(requests("activate"), 1);
        int fullSize = 0;
        for (const std::string& line : machine->trace())
            fullSize += line.find(c.fullRequest) != std::string::npos;
        EXPECT_EQ(fullSize, 2 + static_cast<int>(c.sizes.size()) -
                                (c.sizes.back() != c.sizes.front() ? 1 : 0));
        expectHoldsImage("d", 2);
    }
}

TEST_F(InboxUpdateTest, FirstWritableSlotIsActivated) {
    loadDrive("");
    EXPECT_EQ(update(64), 0u);
    expectHoldsImage("d", 2);
    loadDrive("", R"(, "slots": {"count": 3, "revisions": ["VDL7W2QA", "", ""]})");
    EXPECT_EQ(update(64), 0u);
    expectHoldsImage("d", 1);
    // More records claimed than the drive has, all inside the buffer: still slot 2.
    loadDrive(R"({"kind": "inbox.get_info", "fields": {"SlotCount": 200}})");
    EXPECT_EQ(update(8), 0u);
    expectHoldsImage("d", 2);
}

TEST_F(InboxUpdateTest, GetInfoDecidesWhetherAnythingIsSent) {
    const std::string info = R"({"kind": "inbox.get_info", )";
    const Outcome cases[] = {
        {"", R"(, "upgrade_support": false)", 1},
        {"", R"(, "slots": {"count": 1, "slot1_read_only": true})", 1},
        {info + R"("fields": {"SlotCount": 0}})", kSlot1ReadOnly, 1},
        {info + R"("error": 31})", kSlot1ReadOnly, 5},
        {info + R"("return_code": 1})", kSlot1ReadOnly, 5},
        // The request buffer of granularity 1 is 4172 bytes.
        {info + R"("fields": {"DataBufferOffset": 5000}})", kSlot1ReadOnly, 5},
        {info + R"("fields": {"DataBufferOffset": 4160}})", kSlot1ReadOnly, 5},
        {info + R"("fields": {"DataBufferOffset": "0xFFFFFFF8"}})", kSlot1ReadOnly, 5},
    };
    for (const Outcome& c : cases) {
        SCOPED_TRACE(c.faults + c.drive);
        loadDrive(c.faults, c.drive);
        EXPECT_EQ(update(1), c.result);
        EXPECT_EQ(requests("download") + requests("activate"), 0);
        EXPECT_EQ(drive("d").pendingSlot(), 0);
    }
}

// A driver that places the firmware information at the end of the reply buffer, so that
// only `recordsThatFit` of the drive's three slot records lie inside it.
class InfoAtTheEnd : public qir::sim::SimMachine {
  public:
    uint32_t recordsThatFit = 3;
    bool deviceIoControl(qir::platform::Handle handle, uint32_t code, void* in, uint32_t inSize,
                         void* out, uint32_t outSize, uint32_t* returned) override {
        namespace fw = qir::req::inbox_fw;
        bool ok = SimMachine::deviceIoControl(handle, code, in, inSize, out, outSize, returned);
        auto* b = static_cast<uint8_t*>(out);
        if (ok && code == qir::req::IOCTL_SCSI_MINIPORT &&
            qir::getU32(b, fw::Block::kFunction) == qir::req::FIRMWARE_FUNCTION_GET_INFO) {
            uint32_t from = qir::getU32(b, fw::Block::kDataBufferOffset);
            uint32_t to = outSize - fw::kInfoHeaderSize - fw::kInfoSlotSize * recordsThatFit;
            std::vector<uint8_t> info(b + from, b + from + fw::kInfoHeaderSize + 3 * 16);
            std::fill(b + from, b + outSize, 0);
            std::copy(info.begin(), info.begin() + (outSize - to), b + to);
            qir::putU32(b, fw::Block::kDataBufferOffset, to);
        }
        return ok;
    }
};

TEST_F(InboxUpdateTest, SlotRecordsMustLieInsideTheReply) {
    for (uint32_t fit : {3u, 2u}) {
        SCOPED_TRACE(fit);
        auto relocating = std::make_unique<InfoAtTheEnd>();
        relocating->recordsThatFit = fit;
        loadDrive("");
        relocating->devices = std::move(machine->devices);
        relocating->drives = std::move(machine->drives);
        machine.install(std::move(relocating));
        EXPECT_EQ(update(1), fit == 3 ? 0u : 5u);
        EXPECT_EQ(requests("download"), fit == 3 ? 576 : 0);
    }
}

TEST_F(InboxUpdateTest, RefusedPieceEndsTheRoute) {
    for (const char* fault : {R"("return_code": 7)", R"("error": 1117)"}) {
        SCOPED_TRACE(fault);
        loadDrive(std::string(R"({"kind": "inbox.download", "occurrence": 3, )") + fault + "}");
        EXPECT_EQ(update(1), 5u);
        EXPECT_EQ(requests("download"), 3);
        EXPECT_EQ(drive("d").downloadSizes().size(), 2u);
        EXPECT_EQ(requests("activate"), 0);
        EXPECT_EQ(drive("d").pendingSlot(), 0);
    }
}

TEST_F(InboxUpdateTest, ActivationAnswerDecidesTheResult) {
    const std::string activate = R"({"kind": "inbox.activate", )";
    const Outcome cases[] = {
        {activate + R"("return_code": "0x20"})", kSlot1ReadOnly, 0},
        {activate + R"("return_code": "0x06"})", kSlot1ReadOnly, 1},
        {activate + R"("error": 31})", kSlot1ReadOnly, 5},
        {"", std::string(kSlot1ReadOnly) + R"(, "activation": "power_cycle")", 0},
    };
    for (const Outcome& c : cases) {
        SCOPED_TRACE(c.faults + c.drive);
        loadDrive(c.faults, c.drive);
        EXPECT_EQ(update(16), c.result);
        EXPECT_EQ(requests("download"), 36);
        EXPECT_EQ(requests("activate"), 1);
    }
    expectHoldsImage("d", 2); // the drive that really asked for a power cycle
}

TEST_F(InboxUpdateTest, DiskThatCannotBeOpenedGetsItsBlockAndNoRequest) {
    loadDrive("");
    EXPECT_EQ(update(0), 5u); // a piece size of 0 would never reach the end of the image
    EXPECT_TRUE(machine->trace().empty());
    loadDrive(R"({"kind": "open", "error": 2})");
    EXPECT_EQ(update(1), 5u);
    EXPECT_EQ(machine->trace().size(), 1u);
    EXPECT_NE(console.text.find("\n Driver : Inbox Driver\n Raid : No\n Model Number : "
                                "KORVANE TX7Q3 1TB\n"),
              std::string::npos);
}

TEST_F(InboxUpdateTest, FoundAndIdentifiedDisksAreUpdated) {
    load(machineOf(inboxDisk(1, "a") + "," + inboxDisk(2, "b"),
                   makerDrive("a", std::string(kSlot1ReadOnly) + R"(, "fwug": 8)") + "," +
                       makerDrive("b", std::string(kSlot1ReadOnly) +
                                           R"(, "fwug": 255, "detect_overlap": true)")));
    qir::DiskList found, identified;
    EXPECT_EQ(qir::enumerateNvmeDisks(found), 1);
    for (const qir::TargetDisk& disk : found)
        qir::identifyInboxDisk(disk, identified);
    ASSERT_EQ(identified.size(), 2u);
    for (const qir::TargetDisk& disk : identified)
        EXPECT_EQ(qir::updateInboxDisk(disk, &qir::kFirmwareImageSize), 0u);
    EXPECT_EQ(drive("a").downloadSizes().size(), 72u);
    EXPECT_EQ(drive("b").downloadSizes().size(), 3u);
    expectHoldsImage("a", 2);
    expectHoldsImage("b", 2);
}

} // namespace
