#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "bench/counting_platform.h"
#include "bench/free_drive_platform.h"

namespace {

using namespace qir;
using namespace qir::bench;

// Answers every call with a value of its own, so that a decorator that drops or swaps
// an answer shows.
class AnsweringPlatform : public FreeDrivePlatform {
  public:
    platform::DevInfoSet getClassDevs(const platform::Guid*, uint32_t) override { return 77; }
    bool enumDeviceInfo(platform::DevInfoSet, uint32_t index, platform::DeviceInfoData*) override {
        return index == 3;
    }
    platform::Handle createFile(const std::u16string& path, uint32_t, uint32_t, uint32_t,
                                uint32_t) override {
        return static_cast<platform::Handle>(path.size());
    }
    bool deviceIoControl(platform::Handle handle, uint32_t, void*, uint32_t, void*, uint32_t,
                         uint32_t* bytesReturned) override {
        *bytesReturned = 41;
        return handle == 5;
    }
    uint32_t getLastError() override { return 1117; }
};

struct CallCase {
    const char* name;
    std::function<void(platform::Platform&)> call;
    uint64_t PlatformCallCounts::*counted;
};

TEST(CountingPlatformTest, EachCallCountsOnceInItsOwnKind) {
    platform::DeviceInfoData info{};
    platform::DeviceInterfaceData iface{};
    uint32_t n = 0;
    uint8_t byte = 0;
    const platform::Guid guid{};
    const platform::DevPropKey key{};
    platform::Handle handle = 0;
    platform::PowerStatus power;
    const std::vector<CallCase> cases = {
        {"getClassDevs", [&](platform::Platform& p) { p.getClassDevs(&guid, 0); },
         &PlatformCallCounts::deviceSets},
        {"enumDeviceInfo", [&](platform::Platform& p) { p.enumDeviceInfo(1, 0, &info); },
         &PlatformCallCounts::setWalkSteps},
        {"enumDeviceInterfaces",
         [&](platform::Platform& p) { p.enumDeviceInterfaces(1, nullptr, guid, 0, &iface); },
         &PlatformCallCounts::setWalkSteps},
        {"getDeviceInterfaceDetail",
         [&](platform::Platform& p) { p.getDeviceInterfaceDetail(1, &iface, &byte, 1, &n, &info); },
         &PlatformCallCounts::propertyReads},
        {"getDeviceRegistryProperty",
         [&](platform::Platform& p) { p.getDeviceRegistryProperty(1, &info, 1, &n, &byte, 1, &n); },
         &PlatformCallCounts::propertyReads},
        {"getDeviceProperty",
         [&](platform::Platform& p) { p.getDeviceProperty(1, &info, key, &n, &byte, 1, &n); },
         &PlatformCallCounts::propertyReads},
        {"createFile", [&](platform::Platform& p) { p.createFile(u"x", 0, 0, 0, 0); },
         &PlatformCallCounts::opens},
        {"deviceIoControl",
         [&](platform::Platform& p) { p.deviceIoControl(1, 0, &byte, 1, &byte, 1, &n); },
         &PlatformCallCounts::deviceRequests},
        {"destroyDeviceInfoList", [&](platform::Platform& p) { p.destroyDeviceInfoList(1); },
         &PlatformCallCounts::other},
        {"closeHandle", [&](platform::Platform& p) { p.closeHandle(1); },
         &PlatformCallCounts::other},
        {"getLastError", [&](platform::Platform& p) { p.getLastError(); },
         &PlatformCallCounts::other},
        {"localTime", [&](platform::Platform& p) { p.localTime(); }, &PlatformCallCounts::other},
        {"takeLock", [&](platform::Platform& p) { p.takeLock(u"lock", &handle); },
         &PlatformCallCounts::other},
        {"releaseLock", [&](platform::Platform& p) { p.releaseLock(2); },
         &PlatformCallCounts::other},
        {"getSystemPowerStatus", [&](platform::Platform& p) { p.getSystemPowerStatus(&power); },
         &PlatformCallCounts::other},
    };
    for (const CallCase& c : cases) {
        SCOPED_TRACE(c.name);
        AnsweringPlatform inner;
        CountingPlatform counting(inner);
        c.call(counting);
        const PlatformCallCounts& counts = counting.counts();
        EXPECT_EQ(counts.*c.counted, 1u);
        EXPECT_EQ(counts.total(), 1u);
    }
}

TEST(CountingPlatformTest, OnlyASetOfAllClassesCountsAsOne) {
    AnsweringPlatform inner;
    CountingPlatform counting(inner);
    const platform::Guid guid{};
    counting.getClassDevs(&guid, 0);
    counting.getClassDevs(nullptr, 4);
    EXPECT_EQ(counting.counts().deviceSets, 2u);
    EXPECT_EQ(counting.counts().allClassesSets, 1u);
}

TEST(CountingPlatformTest, AnswersAreTheInnerPlatforms) {
    AnsweringPlatform inner;
    CountingPlatform counting(inner);
    platform::DeviceInfoData info{};
    EXPECT_EQ(counting.getClassDevs(nullptr, 0), 77);
    EXPECT_FALSE(counting.enumDeviceInfo(1, 2, &info));
    EXPECT_TRUE(counting.enumDeviceInfo(1, 3, &info));
    EXPECT_EQ(counting.createFile(u"abcde", 0, 0, 0, 0), 5);
    uint32_t returned = 0;
    uint8_t byte = 0;
    EXPECT_TRUE(counting.deviceIoControl(5, 0, &byte, 1, &byte, 1, &returned));
    EXPECT_EQ(returned, 41u);
    EXPECT_FALSE(counting.deviceIoControl(6, 0, &byte, 1, &byte, 1, &returned));
    EXPECT_EQ(counting.getLastError(), 1117u);
}

TEST(CountingPlatformTest, TheFirstDeviceRequestIsTimedOnce) {
    AnsweringPlatform inner;
    CountingPlatform counting(inner);
    counting.startClock();
    counting.createFile(u"x", 0, 0, 0, 0);
    EXPECT_EQ(counting.firstDeviceRequestNanos(), -1);
    uint32_t returned = 0;
    uint8_t byte = 0;
    counting.deviceIoControl(5, 0, &byte, 1, &byte, 1, &returned);
    const int64_t first = counting.firstDeviceRequestNanos();
    EXPECT_GE(first, 0);
    counting.deviceIoControl(5, 0, &byte, 1, &byte, 1, &returned);
    EXPECT_EQ(counting.firstDeviceRequestNanos(), first);
    counting.startClock();
    EXPECT_EQ(counting.firstDeviceRequestNanos(), -1);
}

} // namespace
