// The Intel RST controller of the simulated machine.
#include "tests/support/sim_test_support.h"

namespace {

using namespace qir;
using namespace qir::testing;

const std::u16string kPort = u"\\\\?\\pci#ven_8086#rst";

std::string machine(const std::string& members, const std::string& faults = "[]") {
    return R"({"drives": [
        {"id": "m0", "serial": "M0", "firmware": "VDL7W2QA", "fwug": 1, "slots": {"count": 2, "slot1_read_only": true}},
        {"id": "m2", "serial": "M2", "firmware": "VDL7W2QA", "fwug": 1, "slots": {"count": 2, "slot1_read_only": true}},
        {"id": "m5", "serial": "M5", "firmware": "VDL4J9QB", "fwug": 1, "activation": "power_cycle",
         "slots": {"count": 2, "slot1_read_only": true}}],
      "devices": [{"class": "storage_port", "interface_path": "\\\\?\\pci#ven_8086#rst",
                   "driver_desc": "Intel RST Controller", "driver": "rst",
                   "rst": {"ports": [{"path_id": 0, "drive": "m0"}, {"path_id": 2, "drive": "m2"},
                                     {"path_id": 5, "drive": "m5"}],
                           "raid_members": )" +
           members + R"(}}],
      "faults": )" +
           faults + "}";
}

std::vector<uint8_t> csmiRequest(uint32_t size = 336) {
    std::vector<uint8_t> buf(size, 0);
    putHeader(buf, "CSMIARY\0", 11);
    return buf;
}

std::vector<uint8_t> identifyRequest(uint8_t pathId) {
    std::vector<uint8_t> buf(4260, 0);
    putHeader(buf, "IntelNvm", 0xF0002808);
    buf[28] = 1;
    buf[29] = pathId;
    putU32(buf.data(), 32, 6);
    putU32(buf.data(), 72, 1);
    putU32(buf.data(), 116, 164);
    putU32(buf.data(), 120, 4096);
    return buf;
}

std::vector<uint8_t> fwRequest(uint8_t pathId, uint32_t function, uint32_t size) {
    std::vector<uint8_t> buf(size, 0);
    putHeader(buf, "IntelFw ", 0xF0000040);
    buf[28] = 1;
    buf[29] = pathId;
    putU32(buf.data(), 32, 1);
    putU32(buf.data(), 36, 24);
    putU32(buf.data(), 40, function);
    putU32(buf.data(), 44, 1);
    putU32(buf.data(), 48, 56);
    putU32(buf.data(), 52, size - 56);
    return buf;
}

uint32_t rstDownload(sim::SimMachine& m, platform::Handle h, uint8_t pathId,
                     const std::vector<uint8_t>& image, uint32_t piece) {
    for (uint64_t off = 0; off < image.size(); off += piece) {
        std::vector<uint8_t> buf = fwRequest(pathId, 2, piece + 88);
        putU32(buf.data(), 56, 2);
        putU32(buf.data(), 60, 32);
        putU64(buf.data(), 64, off);
        putU64(buf.data(), 72, piece);
        buf[80] = 0xFF;
        std::memcpy(buf.data() + 88, image.data() + off, piece);
        EXPECT_TRUE(call(m, h, 0x4D008, buf).ok);
        if (returnCode(buf))
            return returnCode(buf);
    }
    return 0;
}

uint32_t rstActivate(sim::SimMachine& m, platform::Handle h, uint8_t pathId) {
    std::vector<uint8_t> buf = fwRequest(pathId, 3, 68);
    putU32(buf.data(), 56, 1);
    putU32(buf.data(), 60, 12);
    buf[64] = 2;
    EXPECT_TRUE(call(m, h, 0x4D008, buf).ok);
    return returnCode(buf);
}

TEST(SimRstDriver, CsmiCountsEveryMemberAndFillsTheRecordsThatFit) {
    auto m = load(machine("[0, 2, 5]"));
    platform::Handle h = openRw(*m, kPort);
    std::vector<uint8_t> small = csmiRequest();
    ASSERT_TRUE(call(*m, h, 0x4D008, small).ok);
    EXPECT_EQ(returnCode(small), 0u);
    EXPECT_EQ(small[43], 3);
    EXPECT_EQ(small[154], 0);
    EXPECT_EQ(small[154 + 136], 2);
    // A buffer sized for the whole set gets the third record as well.
    std::vector<uint8_t> big = csmiRequest(64 + 3 * 136);
    ASSERT_TRUE(call(*m, h, 0x4D008, big).ok);
    EXPECT_EQ(big[43], 3);
    EXPECT_EQ(big[154 + 2 * 136], 5);
    m->closeHandle(h);
}

TEST(SimRstDriver, CsmiRefusesOtherRaidSetsAndControllersWithoutOne) {
    auto m = load(machine("[0, 2]"));
    platform::Handle h = openRw(*m, kPort);
    std::vector<uint8_t> buf = csmiRequest();
    putU32(buf.data(), 28, 1);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_NE(returnCode(buf), 0u);
    m->closeHandle(h);
    auto none = load(machine("[]"));
    h = openRw(*none, kPort);
    buf = csmiRequest();
    ASSERT_TRUE(call(*none, h, 0x4D008, buf).ok);
    EXPECT_NE(returnCode(buf), 0u);
    none->closeHandle(h);
}

TEST(SimRstDriver, CsmiFaults) {
    auto m = load(machine("[0, 2]", R"([{"kind": "csmi", "occurrence": 1, "return_code": "0x1A"},
                                        {"kind": "csmi", "occurrence": 2, "error": 1},
                                        {"kind": "csmi", "occurrence": 3, "fields": {"bDriveCount": 9}}])"));
    platform::Handle h = openRw(*m, kPort);
    std::vector<uint8_t> buf = csmiRequest();
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(returnCode(buf), 0x1Au);
    buf = csmiRequest();
    EXPECT_EQ(call(*m, h, 0x4D008, buf).error, 1u);
    buf = csmiRequest();
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(buf[43], 9);
    m->closeHandle(h);
}

TEST(SimRstDriver, IdentifyIsAddressedByPathId) {
    auto m = load(machine("[0, 2]"));
    platform::Handle h = openRw(*m, kPort);
    std::vector<uint8_t> buf = identifyRequest(2);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buf[164 + 4]), 2), "M2");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buf[164 + 64]), 8), "VDL7W2QA");
    buf = identifyRequest(0xFF);
    Reply r = call(*m, h, 0x4D008, buf);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, win::ERROR_IO_DEVICE);
    // The data area must lie where the request says, inside the buffer.
    buf = identifyRequest(0);
    putU32(buf.data(), 116, 200);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_NE(returnCode(buf), 0u);
    m->closeHandle(h);
}

TEST(SimRstDriver, DownloadAndActivateReachTheAddressedDrive) {
    auto m = load(machine("[0, 2]"));
    platform::Handle h = openRw(*m, kPort);
    std::vector<uint8_t> image = testImage("VDLNEW02");
    EXPECT_EQ(rstDownload(*m, h, 2, image, 4096), 0u);
    EXPECT_EQ(rstActivate(*m, h, 2), 0u);
    EXPECT_EQ(m->drive("m2")->pendingSlot(), 2);
    EXPECT_EQ(m->drive("m2")->committedDigest(), sim::imageDigest(image.data(), image.size()));
    EXPECT_EQ(m->drive("m0")->downloadSizes().size(), 0u);
    // The power-cycle drive answers 0x20.
    EXPECT_EQ(rstDownload(*m, h, 5, image, 4096), 0u);
    EXPECT_EQ(rstActivate(*m, h, 5), 0x20u);
    m->closeHandle(h);
}

TEST(SimRstDriver, TruncatedImageIsRefusedAtActivation) {
    auto m = load(machine("[0, 2]"));
    platform::Handle h = openRw(*m, kPort);
    // Two pieces of 255 granules leave the last 270,336 bytes unsent.
    std::vector<uint8_t> image = testImage("VDLNEW02");
    const uint32_t piece = 255 * 4096;
    std::vector<uint8_t> partial(image.begin(), image.begin() + 2 * piece);
    EXPECT_EQ(rstDownload(*m, h, 0, partial, piece), 0u);
    EXPECT_EQ(rstActivate(*m, h, 0), 7u);
    EXPECT_EQ(m->drive("m0")->pendingSlot(), 0);
    m->closeHandle(h);
}

TEST(SimRstDriver, FirmwareRequestChecks) {
    auto m = load(machine("[0]"));
    platform::Handle h = openRw(*m, kPort);
    std::vector<uint8_t> buf = fwRequest(0, 3, 68);
    putU32(buf.data(), 56, 1);
    putU32(buf.data(), 60, 12);
    buf[64] = 2;
    putU32(buf.data(), 48, 52); // data area over the request block
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(returnCode(buf), 3u);
    buf = fwRequest(7, 3, 68);
    EXPECT_EQ(call(*m, h, 0x4D008, buf).error, win::ERROR_IO_DEVICE);
    std::vector<uint8_t> other = firmwareRequest(1);
    EXPECT_EQ(call(*m, h, 0x4D008, other).error, win::ERROR_INVALID_FUNCTION);
    m->closeHandle(h);
}

TEST(SimRstDriver, VrocStoragePortKnowsNoRstRequest) {
    auto m = load(R"({"drives": [{"id": "a"}],
        "devices": [{"class": "storage_port", "interface_path": "p", "driver": "vroc"}]})");
    platform::Handle h = openRw(*m, u"p");
    std::vector<uint8_t> csmi = csmiRequest();
    EXPECT_EQ(call(*m, h, 0x4D008, csmi).error, win::ERROR_INVALID_FUNCTION);
    std::vector<uint8_t> id = identifyRequest(0);
    EXPECT_EQ(call(*m, h, 0x4D008, id).error, win::ERROR_INVALID_FUNCTION);
    m->closeHandle(h);
}

} // namespace
