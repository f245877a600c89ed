// A platform that passes every call on to another and keeps the call and its answer, in
// order: what a capture file holds (capture_file.h).
#pragma once

#include "capture/captured_call.h"
#include "platform/forwarding_platform.h"

namespace qir::capture {

class RecordingPlatform : public platform::ForwardingPlatform {
  public:
    explicit RecordingPlatform(platform::Platform& inner) : ForwardingPlatform(inner) {}

    const CallList& calls() const { return calls_; }

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
    // Stores the call with its outcome; a failed call also keeps the error the platform
    // reports for it right away.
    void keep(CapturedCall call, bool ok);
    bool keepAnswer(CapturedCall call, bool ok, uint32_t* requiredSize, const uint8_t* buffer,
                    uint32_t bufferSize, const platform::DeviceInfoData* info);

    CallList calls_;
};

} // namespace qir::capture
