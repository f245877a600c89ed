// The Intel VROC driver on the simulated SCSI port devices.
#include "tests/support/sim_test_support.h"

namespace {

using namespace qir;
using namespace qir::testing;

std::string machine(const std::string& faults = "[]") {
    return R"({"drives": [
        {"id": "v1", "serial": "VSERIAL1", "model": "KORVANE VROC", "firmware": "VDL7W2QA", "fwug": 1,
         "slots": {"count": 2, "slot1_read_only": true}},
        {"id": "v2", "serial": "VSERIAL2", "firmware": "VDL4J9QB", "fwug": 16,
         "slots": {"count": 2, "slot1_read_only": true}},
        {"id": "n1", "serial": "NSERIAL1", "firmware": "VDL7W2QA"}],
      "devices": [{"class": "scsi_port", "scsi_port": 2, "driver": "vroc",
        "vroc": {"raid_volumes": [{"members": [{"drive": "v1", "disk_id": 1, "address": "0x10000"},
                                               {"drive": "v2", "disk_id": 2, "address": "0x20000"}]}],
                 "non_raid": [{"drive": "n1", "disk_id": 9, "address": 3}]}}],
      "faults": )" +
           faults + "}";
}

std::vector<uint8_t> enumRequest(uint32_t code, uint32_t size) {
    std::vector<uint8_t> buf(size, 0);
    putHeader(buf, "NvmeRAID", code);
    putU32(buf.data(), 12, 40);
    return buf;
}

// Sends an enumeration request of `size` bytes (with `selected` as its first payload
// value) and reads the answer at `at`.
uint32_t answerAt(sim::SimMachine& m, platform::Handle h, uint32_t code, uint32_t size,
                  uint32_t selected, uint32_t at) {
    std::vector<uint8_t> request = enumRequest(code, size);
    putU32(request.data(), 28, selected);
    EXPECT_TRUE(call(m, h, 0x4D008, request).ok) << std::hex << code;
    return getU32(request.data(), at);
}

std::vector<uint8_t> passThrough(uint32_t diskId, uint8_t opcode, uint32_t size) {
    std::vector<uint8_t> buf(size, 0);
    putHeader(buf, "NvmeRAID", 0xE0002000, diskId);
    buf[52] = opcode;
    return buf;
}

struct Pt {
    Reply reply;
    uint32_t rc;
    uint32_t status;
};

Pt piece(sim::SimMachine& m, platform::Handle h, uint32_t diskId, const uint8_t* data,
         uint32_t size, uint64_t offset) {
    std::vector<uint8_t> buf = passThrough(diskId, 0x11, size + 160);
    putU32(buf.data(), 92, size / 4 - 1);
    putU32(buf.data(), 96, static_cast<uint32_t>(offset / 4));
    putU32(buf.data(), 132, 1);
    putU32(buf.data(), 140, size);
    putU32(buf.data(), 148, 153);
    std::memcpy(buf.data() + 152, data, size);
    Pt p;
    p.reply = call(m, h, 0x4D008, buf, 153);
    p.rc = returnCode(buf);
    p.status = getU32(buf.data(), 128) >> 17;
    return p;
}

Pt commit(sim::SimMachine& m, platform::Handle h, uint32_t diskId, uint32_t cdw10) {
    std::vector<uint8_t> buf = passThrough(diskId, 0x10, 153);
    putU32(buf.data(), 92, cdw10);
    putU32(buf.data(), 132, 1);
    putU32(buf.data(), 148, 153);
    Pt p;
    p.reply = call(m, h, 0x4D008, buf);
    p.rc = returnCode(buf);
    p.status = getU32(buf.data(), 128) >> 17;
    return p;
}

TEST(SimVrocDriver, CountsAndListsDescribeThePort) {
    auto m = load(machine());
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    ASSERT_NE(h, platform::kInvalidHandle);
    EXPECT_EQ(answerAt(*m, h, 0xE0002014, 32, 0, 28), 1u);
    EXPECT_EQ(answerAt(*m, h, 0xE0002018, 132, 1, 128), 2u);
    std::vector<uint8_t> list = enumRequest(0xE000201C, 2 * 108 + 40);
    putU32(list.data(), 28, 1);
    putU32(list.data(), 32, 2 * 108);
    ASSERT_TRUE(call(*m, h, 0x4D008, list).ok);
    EXPECT_EQ(getU32(list.data(), 36), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&list[36 + 4]), 12), "KORVANE VROC");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&list[36 + 52])), "VSERIAL1");
    EXPECT_EQ(getU32(list.data(), 36 + 100), 0x10000u);
    EXPECT_EQ(getU32(list.data(), 36 + 108), 2u);
    EXPECT_EQ(answerAt(*m, h, 0xE0002028, 32, 0, 28), 1u);
    std::vector<uint8_t> nlist = enumRequest(0xE000202C, 108 + 36);
    putU32(nlist.data(), 28, 108);
    ASSERT_TRUE(call(*m, h, 0x4D008, nlist).ok);
    EXPECT_EQ(getU32(nlist.data(), 32), 9u);
    EXPECT_EQ(getU32(nlist.data(), 32 + 100), 3u);
    m->closeHandle(h);
}

TEST(SimVrocDriver, ListNeverWritesPastTheRoomItWasGiven) {
    auto m = load(machine());
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    std::vector<uint8_t> list = enumRequest(0xE000201C, 2 * 108 + 40);
    putU32(list.data(), 28, 1);
    putU32(list.data(), 32, 108); // room for one
    ASSERT_TRUE(call(*m, h, 0x4D008, list).ok);
    EXPECT_EQ(getU32(list.data(), 36), 1u);
    EXPECT_EQ(getU32(list.data(), 36 + 108), 0u);
    m->closeHandle(h);
}

TEST(SimVrocDriver, CountFaultsOverwriteTheAnswer) {
    auto m = load(machine(R"([{"kind": "vroc.non_raid_count", "fields": {"count": -1}},
                              {"kind": "vroc.volume_info", "fields": {"member_count": 0}}])"));
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    EXPECT_EQ(answerAt(*m, h, 0xE0002028, 32, 0, 28), 0xFFFFFFFFu);
    EXPECT_EQ(answerAt(*m, h, 0xE0002018, 132, 1, 128), 0u);
    m->closeHandle(h);
}

TEST(SimVrocDriver, IdentifyByDiskId) {
    auto m = load(machine());
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    std::vector<uint8_t> buf = passThrough(2, 0x06, 4252);
    putU32(buf.data(), 92, 1);
    putU32(buf.data(), 132, 2);
    putU32(buf.data(), 148, 4252);
    std::fill(buf.begin() + 152, buf.begin() + 4248, 0x55);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(returnCode(buf), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buf[152 + 4]), 8), "VSERIAL2");
    EXPECT_EQ(getU32(buf.data(), 128) >> 17, 0u);
    EXPECT_EQ(getU32(buf.data(), 128) & (1u << 16), 1u << 16); // phase tag
    // An unknown disk id is refused by the driver.
    buf = passThrough(77, 0x06, 4252);
    putU32(buf.data(), 92, 1);
    putU32(buf.data(), 132, 2);
    putU32(buf.data(), 148, 4252);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(returnCode(buf), 14u);
    m->closeHandle(h);
}

TEST(SimVrocDriver, DownloadChecksNumdAgainstTheDataLength) {
    auto m = load(machine());
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    std::vector<uint8_t> data(4096, 1);
    std::vector<uint8_t> buf = passThrough(1, 0x11, 4096 + 160);
    putU32(buf.data(), 92, 4096 / 4); // one dword too many
    putU32(buf.data(), 132, 1);
    putU32(buf.data(), 140, 4096);
    putU32(buf.data(), 148, 153);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf, 153).ok);
    EXPECT_EQ(returnCode(buf), 0u);
    EXPECT_EQ((getU32(buf.data(), 128) >> 17) & 0xFF, 0x02u);
    EXPECT_NE((getU32(buf.data(), 128) >> 17) & 0x4000, 0u); // Do Not Retry
    // Wrong direction.
    putU32(buf.data(), 92, 1023);
    putU32(buf.data(), 132, 2);
    putU32(buf.data(), 20, 1); // the reply replaced the disk id
    ASSERT_TRUE(call(*m, h, 0x4D008, buf, 153).ok);
    EXPECT_EQ(returnCode(buf), 11u);
    m->closeHandle(h);
}

TEST(SimVrocDriver, WholeImageAndCommitLeaveTheSlotPending) {
    auto m = load(machine());
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    std::vector<uint8_t> image = testImage("VDLNEW03");
    const uint32_t p = 65536; // v2 has FWUG 16
    for (uint64_t off = 0; off < image.size(); off += p) {
        Pt r = piece(*m, h, 2, image.data() + off, p, off);
        ASSERT_TRUE(r.reply.ok);
        ASSERT_EQ(r.rc, 0u);
        ASSERT_EQ(r.status, 0u) << off;
    }
    Pt c = commit(*m, h, 2, 0x0A);
    EXPECT_EQ(c.rc, 0u);
    EXPECT_EQ(c.status, 0u);
    const sim::NvmeDrive* d = m->drive("v2");
    EXPECT_EQ(d->pendingSlot(), 2);
    EXPECT_EQ(d->slotRevision(2), "VDLNEW03");
    EXPECT_EQ(d->committedDigest(), sim::imageDigest(image.data(), image.size()));
    // A commit without a staged image is an invalid image (type 1, code 7).
    c = commit(*m, h, 2, 0x0A);
    EXPECT_EQ(c.status & 0x7FF, 0x107u);
    m->closeHandle(h);
}

TEST(SimVrocDriver, PieceOffGranularityIsRefusedByTheDrive) {
    auto m = load(machine());
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    std::vector<uint8_t> data(4096, 1);
    Pt r = piece(*m, h, 2, data.data(), 4096, 0); // v2 needs 64 KiB pieces
    EXPECT_EQ(r.status & 0xFF, 0x02u);
    m->closeHandle(h);
}

TEST(SimVrocDriver, CompletionStatusFault) {
    auto m = load(machine(R"([{"kind": "vroc.commit", "completion_status": "0x10B"}])"));
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi2:");
    Pt c = commit(*m, h, 1, 0x0A);
    EXPECT_EQ(c.rc, 0u);
    EXPECT_EQ(c.status, 0x10Bu);
    EXPECT_EQ(m->drive("v1")->commitCount(), 0);
    m->closeHandle(h);
}

} // namespace
