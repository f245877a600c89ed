// The inbox NVMe driver of the simulated machine and the drive model behind it.
#include "firmware/firmware_image.h"
#include "tests/support/sim_test_support.h"

namespace {

using namespace qir;
using namespace qir::testing;

std::string machine(const std::string& driveExtra, const std::string& faults = "[]") {
    return R"({"drives": [{"id": "d", "serial": "SN123", "model": "KORVANE TX7Q3", "firmware": "VDL7W2QA",
                "version": "1.3.0", "fwug": 8)" +
           driveExtra + R"(}],
      "devices": [{"class": "disk", "interface_path": "\\\\?\\disk#1", "device_number": 3,
                   "driver": "inbox", "drive": "d"}],
      "faults": )" +
           faults + "}";
}

std::vector<uint8_t> identifyQuery() {
    std::vector<uint8_t> q(4144, 0);
    putU32(q.data(), 0, 49);
    putU32(q.data(), 8, 3);
    putU32(q.data(), 12, 1);
    putU32(q.data(), 16, 1);
    putU32(q.data(), 24, 40);
    putU32(q.data(), 28, 4096);
    return q;
}

TEST(SimInboxDriver, DeviceNumberNeedsTwelveBytes) {
    auto m = load(machine(""));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> out(12, 0xEE);
    uint32_t returned = 0;
    ASSERT_TRUE(m->deviceIoControl(h, 0x2D1080, nullptr, 0, out.data(), 12, &returned));
    EXPECT_EQ(returned, 12u);
    EXPECT_EQ(getU32(out.data(), 0), 7u);
    EXPECT_EQ(getU32(out.data(), 4), 3u);
    EXPECT_FALSE(m->deviceIoControl(h, 0x2D1080, nullptr, 0, out.data(), 8, &returned));
    EXPECT_EQ(m->getLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    m->closeHandle(h);
}

TEST(SimInboxDriver, IdentifyQueryAnswersTheDrivesDataAtTheRequestedOffset) {
    auto m = load(machine(R"(, "identify_bytes": [{"offset": "0x43", "hex": "0000000000"}])"));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> q = identifyQuery();
    ASSERT_TRUE(call(*m, h, 0x2D1400, q).ok);
    const uint8_t* id = q.data() + 48;
    EXPECT_EQ(getU16(id, 0), 0x1D7A);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id + 4), 20), "SN123               ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id + 24), 13), "KORVANE TX7Q3");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id + 64), 3), "VDL");
    EXPECT_EQ(id[67], 0); // the raw override
    EXPECT_EQ(id[81], 3); // VER 1.3.0
    EXPECT_EQ(getU16(id, 82), 1);
    EXPECT_EQ(id[319], 8);
    EXPECT_EQ(id[260], 2); // one writable slot
    m->closeHandle(h);
}

TEST(SimInboxDriver, IdentifyQueryRefusesWrongFields) {
    struct Case {
        const char* name;
        uint32_t offset;
        uint32_t value;
        uint32_t error;
    };
    const Case cases[] = {
        {"property id", 0, 0, win::ERROR_NOT_SUPPORTED},
        {"query type", 4, 1, win::ERROR_INVALID_PARAMETER},
        {"protocol", 8, 2, win::ERROR_INVALID_PARAMETER},
        {"data type", 12, 2, win::ERROR_INVALID_PARAMETER},
        {"cns", 16, 0, win::ERROR_INVALID_PARAMETER},
        {"data offset inside the header", 24, 32, win::ERROR_INVALID_PARAMETER},
        {"data past the buffer", 24, 48, win::ERROR_INVALID_PARAMETER},
        {"short data", 28, 512, win::ERROR_INVALID_PARAMETER},
    };
    auto m = load(machine(""));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    for (const Case& c : cases) {
        std::vector<uint8_t> q = identifyQuery();
        putU32(q.data(), c.offset, c.value);
        Reply r = call(*m, h, 0x2D1400, q);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name;
        EXPECT_EQ(q[48 + 4], 0) << c.name << ": a failed call returns no data";
    }
    m->closeHandle(h);
}

TEST(SimInboxDriver, UnknownControlCodeOrSignatureIsAnInvalidFunction) {
    auto m = load(machine(""));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> buf = firmwareRequest(1);
    EXPECT_EQ(call(*m, h, 0x2D0C00, buf).error, win::ERROR_INVALID_FUNCTION);
    std::memcpy(buf.data() + 4, "FIRMWAR ", 8);
    EXPECT_EQ(call(*m, h, 0x4D008, buf).error, win::ERROR_INVALID_FUNCTION);
    buf = firmwareRequest(1);
    putU32(buf.data(), 16, 0x1B0781);
    EXPECT_EQ(call(*m, h, 0x4D008, buf).error, win::ERROR_INVALID_FUNCTION);
    buf = firmwareRequest(1);
    putU32(buf.data(), 24, static_cast<uint32_t>(buf.size())); // Length past the buffer
    EXPECT_EQ(call(*m, h, 0x4D008, buf).error, win::ERROR_INVALID_PARAMETER);
    m->closeHandle(h);
}

TEST(SimInboxDriver, GetInfoPlacesTheSlotRecordsAtTheOffsetItReports) {
    auto m = load(machine(
        R"(, "slots": {"count": 2, "slot1_read_only": true, "revisions": ["VDL7W2QA", "OLDREV01"]})"));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> buf = firmwareRequest(1);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(returnCode(buf), 0u);
    uint32_t at = getU32(buf.data(), 44);
    EXPECT_EQ(at, 56u); // not where the request pointed (52)
    EXPECT_EQ(getU32(buf.data(), 48), buf.size() - 56);
    EXPECT_EQ(buf[at + 8], 1);  // UpgradeSupport
    EXPECT_EQ(buf[at + 9], 2);  // SlotCount
    EXPECT_EQ(buf[at + 10], 1); // ActiveSlot
    EXPECT_EQ(buf[at + 11], 0xFF);
    EXPECT_EQ(buf[at + 16], 1);
    EXPECT_EQ(buf[at + 17], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buf[at + 24]), 8), "VDL7W2QA");
    EXPECT_EQ(buf[at + 32], 2);
    EXPECT_EQ(buf[at + 33], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buf[at + 40]), 8), "OLDREV01");
    m->closeHandle(h);
}

TEST(SimInboxDriver, GoodImageCommitsAndThePendingSlotHoldsIt) {
    auto m = load(machine(R"(, "slots": {"count": 2, "slot1_read_only": true})"));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> image = testImage("VDL9NEW1");
    EXPECT_EQ(inboxDownload(*m, h, image, 32768), 0u);
    std::vector<uint8_t> act = activateRequest(2);
    ASSERT_TRUE(call(*m, h, 0x4D008, act).ok);
    EXPECT_EQ(returnCode(act), 0u);
    const sim::NvmeDrive* d = m->drive("d");
    EXPECT_EQ(d->pendingSlot(), 2);
    EXPECT_EQ(d->activeSlot(), 1);
    EXPECT_EQ(d->slotRevision(2), "VDL9NEW1");
    EXPECT_EQ(d->committedDigest(), sim::imageDigest(image.data(), image.size()));
    EXPECT_EQ(d->downloadSizes().size(), 72u);
    m->closeHandle(h);
}

TEST(SimInboxDriver, TheEmbeddedImageDigestMatchesWhatADriveCommits) {
    auto m = load(machine(""));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> image(firmwareImage(), firmwareImage() + kFirmwareImageSize);
    EXPECT_EQ(inboxDownload(*m, h, image, 32768), 0u);
    std::vector<uint8_t> act = activateRequest(1);
    ASSERT_TRUE(call(*m, h, 0x4D008, act).ok);
    EXPECT_EQ(m->drive("d")->committedDigest(),
              sim::imageDigest(firmwareImage(), kFirmwareImageSize));
    m->closeHandle(h);
}

TEST(SimInboxDriver, ActivationOutcomesFollowTheDrive) {
    // The drive's activation setting: the status of the activate request, then the active
    // and the pending slot.
    auto expectOutcome = [](const std::string& activation, uint32_t status, int active,
                            int pending) {
        SCOPED_TRACE(activation);
        auto m = load(machine(R"(, "slots": {"count": 2}, "activation": ")" + activation + "\""));
        platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
        EXPECT_EQ(inboxDownload(*m, h, testImage("VDLNEW00"), 32768), 0u);
        std::vector<uint8_t> act = activateRequest(2);
        ASSERT_TRUE(call(*m, h, 0x4D008, act).ok);
        EXPECT_EQ(returnCode(act), status);
        EXPECT_EQ(m->drive("d")->activeSlot(), active);
        EXPECT_EQ(m->drive("d")->pendingSlot(), pending);
        m->closeHandle(h);
    };
    expectOutcome("immediate", 0, 2, 0);
    expectOutcome("reset", 0, 1, 2);
    expectOutcome("power_cycle", 0x20, 1, 2);
}

TEST(SimInboxDriver, FaultsReplaceOrRewriteReplies) {
    auto m = load(machine("", R"([
        {"kind": "inbox.download", "occurrence": 3, "return_code": 7},
        {"kind": "inbox.get_info", "fields": {"SlotCount": 0, "DataBufferOffset": 9000}},
        {"kind": "inbox.activate", "error": 1117}])"));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> info = firmwareRequest(1);
    ASSERT_TRUE(call(*m, h, 0x4D008, info).ok);
    EXPECT_EQ(info[56 + 9], 0);
    EXPECT_EQ(getU32(info.data(), 44), 9000u);
    std::vector<uint8_t> image = testImage("VDLNEW00");
    EXPECT_EQ(inboxDownload(*m, h, image, 32768), 7u);
    // The refused piece never reached the drive.
    EXPECT_EQ(m->drive("d")->downloadSizes().size(), 2u);
    std::vector<uint8_t> act = activateRequest(1);
    Reply r = call(*m, h, 0x4D008, act);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, 1117u);
    EXPECT_EQ(m->drive("d")->commitCount(), 0);
    EXPECT_EQ(m->requestCount("inbox.download"), 3);
    m->closeHandle(h);
}

TEST(SimInboxDriver, TraceHasOneLinePerRequest) {
    auto m = load(machine(""));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> info = firmwareRequest(1);
    call(*m, h, 0x4D008, info);
    m->closeHandle(h);
    ASSERT_EQ(m->trace().size(), 2u);
    EXPECT_NE(m->trace()[0].find("open path=\\\\.\\PHYSICALDRIVE3"), std::string::npos);
    const std::string& line = m->trace()[1];
    for (const char* part : {"inbox.get_info", "code=0x4D008", "sig=FIRMWARE", "fn=1", "in=4172",
                             "out=4172", "-> ok", "rc=0x0"})
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
}

} // namespace

namespace {

using namespace qir::testing;

TEST(SimInboxDriver, FaultPathLimitsTheFaultAndItsCountToOneDevice) {
    auto m = load(R"({"drives": [{"id": "a"}, {"id": "b"}],
        "devices": [{"class": "disk", "interface_path": "pa", "device_number": 1, "driver": "inbox", "drive": "a"},
                    {"class": "disk", "interface_path": "pb", "device_number": 2, "driver": "inbox", "drive": "b"}],
        "faults": [{"kind": "inbox.get_info", "occurrence": "every", "path": "\\\\.\\physicaldrive2",
                    "return_code": 1}]})");
    qir::platform::Handle a = openRw(*m, u"\\\\.\\PHYSICALDRIVE1");
    qir::platform::Handle b = openRw(*m, u"\\\\.\\PHYSICALDRIVE2");
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> onA = firmwareRequest(1);
        std::vector<uint8_t> onB = firmwareRequest(1);
        ASSERT_TRUE(call(*m, a, 0x4D008, onA).ok);
        ASSERT_TRUE(call(*m, b, 0x4D008, onB).ok);
        EXPECT_EQ(returnCode(onA), 0u);
        EXPECT_EQ(returnCode(onB), 1u);
    }
    EXPECT_EQ(m->faults[0].seen, 3u);
    m->closeHandle(a);
    m->closeHandle(b);
}

} // namespace
