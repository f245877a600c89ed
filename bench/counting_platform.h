// Wraps a platform and counts what the tool asks of it, so that the cost of discovery
// can be read as calls rather than as time on a noisy machine.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/platform.h"

namespace qir::bench {

struct PlatformCallCounts {
    uint64_t deviceSets = 0;     // getClassDevs
    uint64_t allClassesSets = 0; // getClassDevs without a class, every device in it
    uint64_t setWalkSteps = 0;   // enumDeviceInfo and enumDeviceInterfaces
    uint64_t propertyReads = 0;  // interface details, registry and device properties
    uint64_t opens = 0;          // createFile
    uint64_t deviceRequests = 0; // deviceIoControl
    uint64_t other = 0;          // closes, releases, errors, start-up and time

    uint64_t total() const {
        return deviceSets + setWalkSteps + propertyReads + opens + deviceRequests + other;
    }
};

class CountingPlatform : public platform::Platform {
  public:
    explicit CountingPlatform(platform::Platform& inner) : inner_(inner) {}

    const PlatformCallCounts& counts() const { return counts_; }
    // Starts the clock that firstDeviceRequestNanos() is read against.
    void startClock();
    // Nanoseconds from startClock() to the first deviceIoControl; -1 if none came.
    int64_t firstDeviceRequestNanos() const { return firstRequestNanos_; }

    platform::DevInfoSet getClassDevs(const platform::Guid* classGuid, uint32_t flags) override;
    bool enumDeviceInfo(platform::DevInfoSet set, uint32_t index,
                        platform::DeviceInfoData* info) override;
    bool enumDeviceInterfaces(platform::DevInfoSet set, const platform::DeviceInfoData* info,
                              const platform::Guid& interfaceClass, uint32_t index,
                              platform::DeviceInterfaceData* iface) override;
    bool getDeviceInterfaceDetail(platform::DevInfoSet set,
                                  const platform::DeviceInterfaceData* iface, uint8_t* detail,
                                  uint32_t detailSize, uint32_t* requiredSize,
                                  platform::DeviceInfoData* info) override;
    bool getDeviceRegistryProperty(platform::DevInfoSet set, const platform::DeviceInfoData* info,
                                   uint32_t property, uint32_t* regType, uint8_t* buffer,
                                   uint32_t bufferSize, uint32_t* requiredSize) override;
    bool getDeviceProperty(platform::DevInfoSet set, const platform::DeviceInfoData* info,
                           const platform::DevPropKey& key, uint32_t* propType, uint8_t* buffer,
                           uint32_t bufferSize, uint32_t* requiredSize) override;
    bool destroyDeviceInfoList(platform::DevInfoSet set) override;

    platform::Handle createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                                uint32_t disposition, uint32_t flagsAndAttributes) override;
    bool deviceIoControl(platform::Handle handle, uint32_t controlCode, void* inBuffer,
                         uint32_t inSize, void* outBuffer, uint32_t outSize,
                         uint32_t* bytesReturned) override;
    bool closeHandle(platform::Handle handle) override;
    uint32_t getLastError() override;

    int messageBox(const std::u16string& text, const std::u16string& caption,
                   uint32_t type) override;
    std::uintptr_t getModuleHandle() override;
    std::u16string getCommandLine() override;
    bool frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                          int showMode) override;
    platform::LocalTime localTime() override;
    platform::LockResult takeLock(const std::u16string& name, platform::Handle* lock) override;
    bool releaseLock(platform::Handle lock) override;
    bool getSystemPowerStatus(platform::PowerStatus* status) override;

  private:
    platform::Platform& inner_;
    PlatformCallCounts counts_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    int64_t firstRequestNanos_ = -1;
};

} // namespace qir::bench
