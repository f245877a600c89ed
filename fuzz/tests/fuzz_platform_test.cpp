#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "fuzz/fuzz_platform.h"
#include "platform/win_constants.h"

namespace qir::fuzz {
namespace {

using namespace qir::platform;

// Mode bytes of the platform's decisions, named for the tests.
constexpr uint8_t kOpenOk = 1;
constexpr uint8_t kSetOk = 1;
constexpr uint8_t kIoctlEcho = 1;
constexpr uint8_t kIoctlRaw = 3;
constexpr uint8_t kIoctlTemplate = 4;
constexpr uint8_t kIoctlRepeat = 7;
constexpr uint8_t kValueDict = 4;
constexpr uint8_t kValueUnterminated = 2;
constexpr uint8_t kGuard = 0xA5;

DevInfoSet openSetWithOneDevice(FuzzPlatform& p, DeviceInfoData& info) {
    DevInfoSet set = p.getClassDevs(nullptr, 0);
    info = DeviceInfoData{};
    info.cbSize = win::kDeviceInfoDataSize;
    EXPECT_TRUE(p.enumDeviceInfo(set, 0, &info));
    return set;
}

TEST(FuzzPlatformDeath, AbortsOnWhatTheCoreMustNeverDo) {
    static const std::vector<uint8_t> input = {kOpenOk, kOpenOk, kSetOk, 1, 0};
    auto leakHandle = [] {
        FuzzPlatform p(input.data(), input.size());
        p.createFile(u"x", 0, 0, 0, 0);
        p.finishRun();
    };
    auto closeTwice = [] {
        FuzzPlatform p(input.data(), input.size());
        Handle h = p.createFile(u"x", 0, 0, 0, 0);
        p.closeHandle(h);
        p.closeHandle(h);
    };
    auto useClosed = [] {
        FuzzPlatform p(input.data(), input.size());
        Handle h = p.createFile(u"x", 0, 0, 0, 0);
        p.closeHandle(h);
        uint8_t buf[12];
        p.deviceIoControl(h, req::IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, buf, 12, nullptr);
    };
    auto leakSet = [] {
        FuzzPlatform p(input.data() + 2, 3);
        p.getClassDevs(nullptr, 0);
        p.finishRun();
    };
    auto useDestroyedSet = [] {
        FuzzPlatform p(input.data() + 2, 3);
        DevInfoSet s = p.getClassDevs(nullptr, 0);
        p.destroyDeviceInfoList(s);
        DeviceInfoData info{};
        info.cbSize = 32;
        p.enumDeviceInfo(s, 0, &info);
    };
    auto tooSmallForReply = [] {
        // A device-number request with room for less than its reply.
        const std::vector<uint8_t> in = {kOpenOk, kIoctlTemplate};
        FuzzPlatform p(in.data(), in.size());
        Handle h = p.createFile(u"x", 0, 0, 0, 0);
        uint8_t buf[8];
        p.deviceIoControl(h, req::IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, buf, 8, nullptr);
    };
    EXPECT_DEATH(leakHandle(), "handles left open");
    EXPECT_DEATH(closeTwice(), "handle closed twice");
    EXPECT_DEATH(useClosed(), "request on a closed handle");
    EXPECT_DEATH(leakSet(), "sets left open");
    EXPECT_DEATH(useDestroyedSet(), "set used after destroy");
    EXPECT_DEATH(tooSmallForReply(), "does not fit");
}

TEST(FuzzPlatform, ExhaustedInputEndsEveryWalk) {
    FuzzPlatform p(nullptr, 0);
    EXPECT_EQ(p.getClassDevs(nullptr, 0), kInvalidDevInfoSet);
    EXPECT_EQ(p.createFile(u"x", 0, 0, 0, 0), kInvalidHandle);
    EXPECT_EQ(p.getLastError(), win::ERROR_FILE_NOT_FOUND);
    p.finishRun();
}

TEST(FuzzPlatform, DeviceWalkStopsAtTheDrawnCountAndChecksRecordSizes) {
    const std::vector<uint8_t> input = {kSetOk, 200, 3, 4, 5, 6, 7, 8, 9};
    FuzzPlatform p(input.data(), input.size());
    DevInfoSet set = p.getClassDevs(nullptr, 0);
    ASSERT_NE(set, kInvalidDevInfoSet);
    DeviceInfoData info{};
    info.cbSize = 28;
    EXPECT_FALSE(p.enumDeviceInfo(set, 0, &info));
    EXPECT_EQ(p.getLastError(), win::ERROR_INVALID_USER_BUFFER);
    info.cbSize = win::kDeviceInfoDataSize;
    uint32_t seen = 0;
    while (p.enumDeviceInfo(set, seen, &info))
        ++seen;
    EXPECT_EQ(seen, 200u % (kMaxDevicesPerSet + 1));
    EXPECT_EQ(p.getLastError(), win::ERROR_NO_MORE_ITEMS);
    p.destroyDeviceInfoList(set);
    p.finishRun();
}

struct PropertyCase {
    const char* name;
    bool registry;
};

class PropertyAnswers : public ::testing::TestWithParam<PropertyCase> {};

bool askProperty(FuzzPlatform& p, bool registry, DevInfoSet set, const DeviceInfoData& info,
                 uint8_t* buf, uint32_t size, uint32_t* required) {
    uint32_t type = 0;
    if (registry)
        return p.getDeviceRegistryProperty(set, &info, win::SPDRP_HARDWAREID, &type, buf, size,
                                           required);
    return p.getDeviceProperty(set, &info, win::DEVPKEY_Device_Parent, &type, buf, size, required);
}

TEST_P(PropertyAnswers, SizeIsStableAndNoByteIsWrittenPastTheBuffer) {
    const bool registry = GetParam().registry;
    // One device; its property a dictionary text; the first ask misstates the size as 3.
    const std::vector<uint8_t> input = {kSetOk, 1, 0, 0x80 | kValueDict, 3, 0};
    FuzzPlatform p(input.data(), input.size());
    DeviceInfoData info;
    DevInfoSet set = openSetWithOneDevice(p, info);
    uint32_t required = 0;
    EXPECT_FALSE(askProperty(p, registry, set, info, nullptr, 0, &required));
    EXPECT_EQ(p.getLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 3u);
    std::vector<uint8_t> small(8 + 16, kGuard);
    EXPECT_FALSE(askProperty(p, registry, set, info, small.data(), 8, &required));
    EXPECT_EQ(p.getLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    const uint32_t truth = required;
    EXPECT_GT(truth, 8u);
    for (size_t i = 0; i < small.size(); ++i)
        EXPECT_EQ(small[i], kGuard) << "byte " << i;
    std::vector<uint8_t> fits(truth + 16, kGuard);
    ASSERT_TRUE(askProperty(p, registry, set, info, fits.data(), truth, &required));
    EXPECT_EQ(required, truth);
    for (size_t i = truth; i < fits.size(); ++i)
        EXPECT_EQ(fits[i], kGuard) << "byte " << i;
    // Both texts and lists end with their terminators.
    EXPECT_EQ(fits[truth - 1], 0);
    EXPECT_EQ(fits[truth - 2], 0);
    std::vector<uint8_t> again(truth);
    ASSERT_TRUE(askProperty(p, registry, set, info, again.data(), truth, &required));
    EXPECT_TRUE(std::equal(again.begin(), again.end(), fits.begin()));
    p.destroyDeviceInfoList(set);
    p.finishRun();
}

INSTANTIATE_TEST_SUITE_P(Both, PropertyAnswers,
                         ::testing::Values(PropertyCase{"DeviceProperty", false},
                                           PropertyCase{"RegistryProperty", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FuzzPlatform, InterfaceDetailKeepsCbSizeAndMayLeaveThePathUnterminated) {
    const std::vector<uint8_t> input = {kSetOk, 1, 0, 1, kValueUnterminated, 0};
    FuzzPlatform p(input.data(), input.size());
    DeviceInfoData info;
    DevInfoSet set = openSetWithOneDevice(p, info);
    DeviceInterfaceData iface{};
    iface.cbSize = win::kDeviceInterfaceDataSize;
    ASSERT_TRUE(p.enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, 0, &iface));
    uint32_t required = 0;
    EXPECT_FALSE(p.getDeviceInterfaceDetail(set, &iface, nullptr, 0, &required, nullptr));
    ASSERT_GT(required, 4u);
    std::vector<uint8_t> detail(required + 8, kGuard);
    putU32(detail.data(), 0, 6);
    EXPECT_FALSE(
        p.getDeviceInterfaceDetail(set, &iface, detail.data(), required, nullptr, nullptr));
    EXPECT_EQ(p.getLastError(), win::ERROR_INVALID_USER_BUFFER);
    putU32(detail.data(), 0, win::kInterfaceDetailFixedSize);
    ASSERT_TRUE(p.getDeviceInterfaceDetail(set, &iface, detail.data(), required, nullptr, nullptr));
    EXPECT_EQ(getU32(detail.data(), 0), win::kInterfaceDetailFixedSize);
    EXPECT_NE(getU16(detail.data(), required - 2), 0) << "the path has no terminator";
    EXPECT_EQ(detail[required], kGuard);
    p.destroyDeviceInfoList(set);
    p.finishRun();
}

TEST(FuzzPlatform, RawReplyFillsExactlyTheOutBufferAndCountsWithinIt) {
    std::vector<uint8_t> input = {kOpenOk, kIoctlRaw | 0x80};
    for (int i = 0; i < 40; ++i)
        input.push_back(static_cast<uint8_t>(0x10 + i));
    FuzzPlatform p(input.data(), input.size());
    Handle h = p.createFile(u"x", 0, 0, 0, 0);
    std::vector<uint8_t> buf(32 + 8, kGuard);
    uint32_t returned = 0xFFFFFFFF;
    ASSERT_TRUE(
        p.deviceIoControl(h, req::IOCTL_SCSI_MINIPORT, buf.data(), 32, buf.data(), 32, &returned));
    EXPECT_EQ(buf[0], 0x10);
    EXPECT_EQ(buf[31], 0x10 + 31);
    for (size_t i = 32; i < buf.size(); ++i)
        EXPECT_EQ(buf[i], kGuard);
    EXPECT_LE(returned, 32u);
    p.closeHandle(h);
    p.finishRun();
}

TEST(FuzzPlatform, TemplateIdentifyCarriesAnEligibleRevisionAtTheReplyOffset) {
    // Identify: serial byte, revision pick 1 ("VDL4J9QB"), version pick, granularity pick 1 (8).
    const std::vector<uint8_t> input = {kOpenOk, kIoctlTemplate, 7, 1, 1, 1};
    FuzzPlatform p(input.data(), input.size());
    Handle h = p.createFile(u"x", 0, 0, 0, 0);
    std::vector<uint8_t> buf(req::storage_query::kSize);
    ASSERT_TRUE(p.deviceIoControl(h, req::IOCTL_STORAGE_QUERY_PROPERTY, buf.data(),
                                  req::storage_query::kSize, buf.data(), req::storage_query::kSize,
                                  nullptr));
    const uint8_t* id = buf.data() + req::storage_query::kIdentifyData;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id + req::identify::kFirmware), 8),
              "VDL4J9QB");
    EXPECT_EQ(id[req::identify::kUpdateGranularity], 8);
    EXPECT_EQ(getU16(id, req::identify::kVendorId), 0x1D7A);
    p.closeHandle(h);
    p.finishRun();
}

TEST(FuzzPlatform, RepeatAnswersALongDownloadFromTwoBytes) {
    const std::vector<uint8_t> input = {kOpenOk, kIoctlRepeat, 71};
    FuzzPlatform p(input.data(), input.size());
    Handle h = p.createFile(u"x", 0, 0, 0, 0);
    std::vector<uint8_t> buf(4096 + 76);
    int accepted = 0;
    for (int piece = 0; piece < 600; ++piece) {
        putU32(buf.data(), req::srb::kReturnCode, 0xBAD);
        if (!p.deviceIoControl(h, req::IOCTL_SCSI_MINIPORT, buf.data(),
                               static_cast<uint32_t>(buf.size()), buf.data(),
                               static_cast<uint32_t>(buf.size()), nullptr))
            break;
        EXPECT_EQ(getU32(buf.data(), req::srb::kReturnCode), 0u);
        ++accepted;
    }
    EXPECT_EQ(accepted, 1 + (71 + 1) * 8);
    EXPECT_EQ(p.getLastError(), win::ERROR_GEN_FAILURE);
    p.closeHandle(h);
    p.finishRun();
}

TEST(FuzzPlatform, EchoLeavesTheRequestAsSentAndKeepsTheLastError) {
    const std::vector<uint8_t> input = {0, 2, kOpenOk, kIoctlEcho};
    FuzzPlatform p(input.data(), input.size());
    EXPECT_EQ(p.createFile(u"x", 0, 0, 0, 0), kInvalidHandle);
    EXPECT_EQ(p.getLastError(), win::ERROR_ACCESS_DENIED);
    Handle h = p.createFile(u"x", 0, 0, 0, 0);
    uint8_t buf[28] = {1, 2, 3};
    ASSERT_TRUE(p.deviceIoControl(h, req::IOCTL_SCSI_MINIPORT, buf, 28, buf, 28, nullptr));
    EXPECT_EQ(buf[2], 3);
    // As on Windows, a call that succeeds leaves the last error alone.
    EXPECT_EQ(p.getLastError(), win::ERROR_ACCESS_DENIED);
    p.closeHandle(h);
    p.finishRun();
}

} // namespace
} // namespace qir::fuzz
