// A machine whose every drive accepts every request at no cost: no copying, no checks.
// Set as the platform, it leaves only the tool's own work to be measured in a route.
#pragma once

#include "platform/platform.h"

namespace qir::bench {

class FreeDrivePlatform : public platform::Platform {
  public:
    platform::DevInfoSet getClassDevs(const platform::Guid*, uint32_t) override { return 1; }
    bool enumDeviceInfo(platform::DevInfoSet, uint32_t, platform::DeviceInfoData*) override {
        return false;
    }
    bool enumDeviceInterfaces(platform::DevInfoSet, const platform::DeviceInfoData*,
                              const platform::Guid&, uint32_t,
                              platform::DeviceInterfaceData*) override {
        return false;
    }
    bool getDeviceInterfaceDetail(platform::DevInfoSet, const platform::DeviceInterfaceData*,
                                  uint8_t*, uint32_t, uint32_t*,
                                  platform::DeviceInfoData*) override {
        return false;
    }
    bool getDeviceRegistryProperty(platform::DevInfoSet, const platform::DeviceInfoData*, uint32_t,
                                   uint32_t*, uint8_t*, uint32_t, uint32_t*) override {
        return false;
    }
    bool getDeviceProperty(platform::DevInfoSet, const platform::DeviceInfoData*,
                           const platform::DevPropKey&, uint32_t*, uint8_t*, uint32_t,
                           uint32_t*) override {
        return false;
    }
    bool destroyDeviceInfoList(platform::DevInfoSet) override { return true; }

    platform::Handle createFile(const std::u16string&, uint32_t, uint32_t, uint32_t,
                                uint32_t) override {
        return 1;
    }
    // Every request succeeds with the buffer as the tool sent it (all status fields
    // zero), except the inbox driver's firmware information, which must name a
    // writable slot for the route to go on.
    bool deviceIoControl(platform::Handle, uint32_t controlCode, void* inBuffer, uint32_t inSize,
                         void* outBuffer, uint32_t outSize, uint32_t* bytesReturned) override;
    bool closeHandle(platform::Handle) override { return true; }
    uint32_t getLastError() override { return 0; }

    int messageBox(const std::u16string&, const std::u16string&, uint32_t) override { return 1; }
    std::uintptr_t getModuleHandle() override { return 1; }
    std::u16string getCommandLine() override { return u"qir.exe /s"; }
    bool frameworkStartup(std::uintptr_t, const std::u16string&, int) override { return true; }
    platform::LocalTime localTime() override { return {2026, 12, 7, 2, 40, 52}; }
    platform::LockResult takeLock(const std::u16string&, platform::Handle* lock) override {
        *lock = 2;
        return platform::LockResult::Taken;
    }
    bool releaseLock(platform::Handle) override { return true; }
    bool getSystemPowerStatus(platform::PowerStatus* status) override {
        *status = platform::PowerStatus{1, 128, 255};
        return true;
    }
};

} // namespace qir::bench
