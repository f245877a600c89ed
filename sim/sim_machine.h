// A simulated Windows machine: answers the platform calls the way Windows and its
// storage drivers do, from an in-memory description, and records what it was asked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace qir::sim {

struct ShownMessageBox {
    std::u16string text;
    std::u16string caption;
    uint32_t type = 0;
};

class SimMachine : public platform::Platform {
  public:
    SimMachine();

    // Switches and fixed values of the machine.
    bool moduleHandleFails = false;
    bool frameworkStartupFails = false;
    platform::LocalTime clock = {2026, 12, 7, 2, 40, 52};
    std::u16string commandLine = u"qir.exe";

    // What the machine saw.
    std::optional<ShownMessageBox> messageBoxShown;
    int openHandles = 0;
    int openDeviceInfoSets = 0;

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

  private:
    uint32_t lastError_ = 0;
    platform::DevInfoSet nextSet_ = 0x1000;
};

} // namespace qir::sim
