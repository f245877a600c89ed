// A platform that answers every call from a capture, in the recorded order, and notes
// the first call that is not the one the capture holds at that place: the proof that a
// tool (or a revision of it) asks a machine exactly the questions it was recorded
// asking. After a difference every call fails, so the tool still runs to an end.
#pragma once

#include <string>

#include "capture/captured_call.h"
#include "platform/platform.h"

namespace qir::capture {

class ReplayPlatform : public platform::Platform {
  public:
    explicit ReplayPlatform(CallList calls) : calls_(std::move(calls)) {}

    // Empty when every recorded call was asked, in order and nothing more; else the
    // first difference, naming the call's place in the capture.
    std::string difference() const;
    size_t callsAnswered() const { return next_; }

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
    // The recorded call that answers this question, or nullptr once the replay has left
    // the record.
    const CapturedCall* answer(const CapturedCall& asked);
    void copyOut(const std::vector<uint8_t>& bytes, void* buffer, uint32_t size) const;

    CallList calls_;
    size_t next_ = 0;
    std::string difference_;
};

} // namespace qir::capture
