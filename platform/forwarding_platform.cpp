#include "platform/forwarding_platform.h"

namespace qir::platform {

DevInfoSet ForwardingPlatform::getClassDevs(const Guid* classGuid, uint32_t flags) {
    noted(PlatformCall::getClassDevs);
    return inner_.getClassDevs(classGuid, flags);
}

bool ForwardingPlatform::enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) {
    noted(PlatformCall::enumDeviceInfo);
    return inner_.enumDeviceInfo(set, index, info);
}

bool ForwardingPlatform::enumDeviceInterfaces(DevInfoSet set, const DeviceInfoData* info,
                                              const Guid& interfaceClass, uint32_t index,
                                              DeviceInterfaceData* iface) {
    noted(PlatformCall::enumDeviceInterfaces);
    return inner_.enumDeviceInterfaces(set, info, interfaceClass, index, iface);
}

bool ForwardingPlatform::getDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData* iface,
                                                  uint8_t* detail, uint32_t detailSize,
                                                  uint32_t* requiredSize, DeviceInfoData* info) {
    noted(PlatformCall::getDeviceInterfaceDetail);
    return inner_.getDeviceInterfaceDetail(set, iface, detail, detailSize, requiredSize, info);
}

bool ForwardingPlatform::getDeviceRegistryProperty(DevInfoSet set, const DeviceInfoData* info,
                                                   uint32_t property, uint32_t* regType,
                                                   uint8_t* buffer, uint32_t bufferSize,
                                                   uint32_t* requiredSize) {
    noted(PlatformCall::getDeviceRegistryProperty);
    return inner_.getDeviceRegistryProperty(set, info, property, regType, buffer, bufferSize,
                                            requiredSize);
}

bool ForwardingPlatform::getDeviceProperty(DevInfoSet set, const DeviceInfoData* info,
                                           const DevPropKey& key, uint32_t* propType,
                                           uint8_t* buffer, uint32_t bufferSize,
                                           uint32_t* requiredSize) {
    noted(PlatformCall::getDeviceProperty);
    return inner_.getDeviceProperty(set, info, key, propType, buffer, bufferSize, requiredSize);
}

bool ForwardingPlatform::destroyDeviceInfoList(DevInfoSet set) {
    noted(PlatformCall::destroyDeviceInfoList);
    return inner_.destroyDeviceInfoList(set);
}

Handle ForwardingPlatform::createFile(const std::u16string& path, uint32_t access,
                                      uint32_t shareMode, uint32_t disposition,
                                      uint32_t flagsAndAttributes) {
    noted(PlatformCall::createFile);
    return inner_.createFile(path, access, shareMode, disposition, flagsAndAttributes);
}

bool ForwardingPlatform::deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                         uint32_t inSize, void* outBuffer, uint32_t outSize,
                                         uint32_t* bytesReturned) {
    noted(PlatformCall::deviceIoControl);
    return inner_.deviceIoControl(handle, controlCode, inBuffer, inSize, outBuffer, outSize,
                                  bytesReturned);
}

bool ForwardingPlatform::closeHandle(Handle handle) {
    noted(PlatformCall::closeHandle);
    return inner_.closeHandle(handle);
}

uint32_t ForwardingPlatform::getLastError() {
    noted(PlatformCall::getLastError);
    return inner_.getLastError();
}

int ForwardingPlatform::messageBox(const std::u16string& text, const std::u16string& caption,
                                   uint32_t type) {
    noted(PlatformCall::messageBox);
    return inner_.messageBox(text, caption, type);
}

std::uintptr_t ForwardingPlatform::getModuleHandle() {
    noted(PlatformCall::getModuleHandle);
    return inner_.getModuleHandle();
}

std::u16string ForwardingPlatform::getCommandLine() {
    noted(PlatformCall::getCommandLine);
    return inner_.getCommandLine();
}

bool ForwardingPlatform::frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                                          int showMode) {
    noted(PlatformCall::frameworkStartup);
    return inner_.frameworkStartup(module, commandLine, showMode);
}

LocalTime ForwardingPlatform::localTime() {
    noted(PlatformCall::localTime);
    return inner_.localTime();
}

LockResult ForwardingPlatform::takeLock(const std::u16string& name, Handle* lock) {
    noted(PlatformCall::takeLock);
    return inner_.takeLock(name, lock);
}

bool ForwardingPlatform::releaseLock(Handle lock) {
    noted(PlatformCall::releaseLock);
    return inner_.releaseLock(lock);
}

bool ForwardingPlatform::getSystemPowerStatus(PowerStatus* status) {
    noted(PlatformCall::getSystemPowerStatus);
    return inner_.getSystemPowerStatus(status);
}

} // namespace qir::platform
