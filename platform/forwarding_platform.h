// A platform that hands every call to another one: the base of a decorator that changes
// or watches a few calls and lets the rest through unchanged.
#pragma once

#include "platform/platform.h"

namespace qir::platform {

// Each call of the interface (named as its method), as a watcher that only notes calls
// sees it.
enum class PlatformCall {
    getClassDevs,
    enumDeviceInfo,
    enumDeviceInterfaces,
    getDeviceInterfaceDetail,
    getDeviceRegistryProperty,
    getDeviceProperty,
    destroyDeviceInfoList,
    createFile,
    deviceIoControl,
    closeHandle,
    getLastError,
    messageBox,
    getModuleHandle,
    getCommandLine,
    frameworkStartup,
    localTime,
};

class ForwardingPlatform : public Platform {
  public:
    explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

    DevInfoSet getClassDevs(const Guid* classGuid, uint32_t flags) override;
    bool enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) override;
    bool enumDeviceInterfaces(DevInfoSet set, const DeviceInfoData* info,
                              const Guid& interfaceClass, uint32_t index,
                              DeviceInterfaceData* iface) override;
    bool getDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData* iface, uint8_t* detail,
                                  uint32_t detailSize, uint32_t* requiredSize,
                                  DeviceInfoData* info) override;
    bool getDeviceRegistryProperty(DevInfoSet set, const DeviceInfoData* info, uint32_t property,
                                   uint32_t* regType, uint8_t* buffer, uint32_t bufferSize,
                                   uint32_t* requiredSize) override;
    bool getDeviceProperty(DevInfoSet set, const DeviceInfoData* info, const DevPropKey& key,
                           uint32_t* propType, uint8_t* buffer, uint32_t bufferSize,
                           uint32_t* requiredSize) override;
    bool destroyDeviceInfoList(DevInfoSet set) override;

    Handle createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                      uint32_t disposition, uint32_t flagsAndAttributes) override;
    bool deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer, uint32_t inSize,
                         void* outBuffer, uint32_t outSize, uint32_t* bytesReturned) override;
    bool closeHandle(Handle handle) override;
    uint32_t getLastError() override;

    int messageBox(const std::u16string& text, const std::u16string& caption,
                   uint32_t type) override;
    std::uintptr_t getModuleHandle() override;
    std::u16string getCommandLine() override;
    bool frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                          int showMode) override;
    LocalTime localTime() override;

  protected:
    Platform& inner() { return inner_; }
    // Called by each call passed on here, before it goes to the inner platform: a watcher
    // that counts or times calls overrides this alone, and a call added to the interface
    // reaches it without a change to the watcher.
    virtual void noted(PlatformCall) {}

  private:
    Platform& inner_;
};

} // namespace qir::platform
