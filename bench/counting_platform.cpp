#include "bench/counting_platform.h"

namespace qir::bench {

using namespace platform;

void CountingPlatform::startClock() {
    start_ = std::chrono::steady_clock::now();
    firstRequestNanos_ = -1;
}

DevInfoSet CountingPlatform::getClassDevs(const Guid* classGuid, uint32_t flags) {
    ++counts_.deviceSets;
    if (!classGuid)
        ++counts_.allClassesSets;
    return inner_.getClassDevs(classGuid, flags);
}

bool CountingPlatform::enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) {
    ++counts_.setWalkSteps;
    return inner_.enumDeviceInfo(set, index, info);
}

bool CountingPlatform::enumDeviceInterfaces(DevInfoSet set, const DeviceInfoData* info,
                                            const Guid& interfaceClass, uint32_t index,
                                            DeviceInterfaceData* iface) {
    ++counts_.setWalkSteps;
    return inner_.enumDeviceInterfaces(set, info, interfaceClass, index, iface);
}

bool CountingPlatform::getDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData* iface,
                                                uint8_t* detail, uint32_t detailSize,
                                                uint32_t* requiredSize, DeviceInfoData* info) {
    ++counts_.propertyReads;
    return inner_.getDeviceInterfaceDetail(set, iface, detail, detailSize, requiredSize, info);
}

bool CountingPlatform::getDeviceRegistryProperty(DevInfoSet set, const DeviceInfoData* info,
                                                 uint32_t property, uint32_t* regType,
                                                 uint8_t* buffer, uint32_t bufferSize,
                                                 uint32_t* requiredSize) {
    ++counts_.propertyReads;
    return inner_.getDeviceRegistryProperty(set, info, property, regType, buffer, bufferSize,
                                            requiredSize);
}

bool CountingPlatform::getDeviceProperty(DevInfoSet set, const DeviceInfoData* info,
                                         const DevPropKey& key, uint32_t* propType, uint8_t* buffer,
                                         uint32_t bufferSize, uint32_t* requiredSize) {
    ++counts_.propertyReads;
    return inner_.getDeviceProperty(set, info, key, propType, buffer, bufferSize, requiredSize);
}

bool CountingPlatform::destroyDeviceInfoList(DevInfoSet set) {
    ++counts_.other;
    return inner_.destroyDeviceInfoList(set);
}

Handle CountingPlatform::createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                                    uint32_t disposition, uint32_t flagsAndAttributes) {
    ++counts_.opens;
    return inner_.createFile(path, access, shareMode, disposition, flagsAndAttributes);
}

bool CountingPlatform::deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                       uint32_t inSize, void* outBuffer, uint32_t outSize,
                                       uint32_t* bytesReturned) {
    if (counts_.deviceRequests++ == 0)
        firstRequestNanos_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now() - start_)
                                 .count();
    return inner_.deviceIoControl(handle, controlCode, inBuffer, inSize, outBuffer, outSize,
                                  bytesReturned);
}

bool CountingPlatform::closeHandle(Handle handle) {
    ++counts_.other;
    return inner_.closeHandle(handle);
}

uint32_t CountingPlatform::getLastError() {
    ++counts_.other;
    return inner_.getLastError();
}

int CountingPlatform::messageBox(const std::u16string& text, const std::u16string& caption,
                                 uint32_t type) {
    ++counts_.other;
    return inner_.messageBox(text, caption, type);
}

std::uintptr_t CountingPlatform::getModuleHandle() {
    ++counts_.other;
    return inner_.getModuleHandle();
}

std::u16string CountingPlatform::getCommandLine() {
    ++counts_.other;
    return inner_.getCommandLine();
}

bool CountingPlatform::frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                                        int showMode) {
    ++counts_.other;
    return inner_.frameworkStartup(module, commandLine, showMode);
}

LocalTime CountingPlatform::localTime() {
    ++counts_.other;
    return inner_.localTime();
}

platform::LockResult CountingPlatform::takeLock(const std::u16string& name,
                                                platform::Handle* lock) {
    ++counts_.other;
    return inner_.takeLock(name, lock);
}

bool CountingPlatform::releaseLock(platform::Handle lock) {
    ++counts_.other;
    return inner_.releaseLock(lock);
}

bool CountingPlatform::getSystemPowerStatus(platform::PowerStatus* status) {
    ++counts_.other;
    return inner_.getSystemPowerStatus(status);
}

} // namespace qir::bench
