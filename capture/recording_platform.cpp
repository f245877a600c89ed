#include "capture/recording_platform.h"

#include <algorithm>

#include "capture/questions.h"

namespace qir::capture {

using namespace qir::platform;

void RecordingPlatform::keep(CapturedCall call, bool ok) {
    call.ok = ok;
    if (!ok)
        call.error = inner().getLastError();
    calls_.push_back(std::move(call));
}

// The answer of a call that fills a caller's buffer: the bytes up to the size the call
// reports (or the whole buffer when the caller did not ask for the size).
bool RecordingPlatform::keepAnswer(CapturedCall call, bool ok, uint32_t* requiredSize,
                                   const uint8_t* buffer, uint32_t bufferSize,
                                   const DeviceInfoData* info) {
    if (requiredSize)
        call.required = *requiredSize;
    if (ok && buffer) {
        uint32_t filled = requiredSize ? std::min(*requiredSize, bufferSize) : bufferSize;
        call.out.assign(buffer, buffer + filled);
    }
    if (info)
        call.outDevInst = info->devInst;
    keep(std::move(call), ok);
    return ok;
}

DevInfoSet RecordingPlatform::getClassDevs(const Guid* classGuid, uint32_t flags) {
    CapturedCall c = ask::getClassDevs(classGuid, flags);
    DevInfoSet set = inner().getClassDevs(classGuid, flags);
    c.result = set;
    keep(std::move(c), set != kInvalidDevInfoSet);
    return set;
}

bool RecordingPlatform::enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) {
    CapturedCall c = ask::enumDeviceInfo(set, index);
    bool ok = inner().enumDeviceInfo(set, index, info);
    if (ok && info) {
        c.outDevInst = info->devInst;
        c.outGuid = info->classGuid;
    }
    keep(std::move(c), ok);
    return ok;
}

bool RecordingPlatform::enumDeviceInterfaces(DevInfoSet set, const DeviceInfoData* info,
                                             const Guid& interfaceClass, uint32_t index,
                                             DeviceInterfaceData* iface) {
    CapturedCall c = ask::enumDeviceInterfaces(set, info, interfaceClass, index);
    bool ok = inner().enumDeviceInterfaces(set, info, interfaceClass, index, iface);
    if (ok && iface) {
        c.outGuid = iface->interfaceClassGuid;
        c.outFlags = iface->flags;
    }
    keep(std::move(c), ok);
    return ok;
}

bool RecordingPlatform::getDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData* iface,
                                                 uint8_t* detail, uint32_t detailSize,
                                                 uint32_t* requiredSize, DeviceInfoData* info) {
    CapturedCall c = ask::interfaceDetail(set, iface, detail, detailSize, info);
    bool ok = inner().getDeviceInterfaceDetail(set, iface, detail, detailSize, requiredSize, info);
    return keepAnswer(std::move(c), ok, requiredSize, detail, detailSize, info);
}

bool RecordingPlatform::getDeviceRegistryProperty(DevInfoSet set, const DeviceInfoData* info,
                                                  uint32_t property, uint32_t* regType,
                                                  uint8_t* buffer, uint32_t bufferSize,
                                                  uint32_t* requiredSize) {
    CapturedCall c = ask::registryProperty(set, info, property, buffer, bufferSize);
    bool ok = inner().getDeviceRegistryProperty(set, info, property, regType, buffer, bufferSize,
                                                requiredSize);
    if (regType)
        c.type = *regType;
    return keepAnswer(std::move(c), ok, requiredSize, buffer, bufferSize, nullptr);
}

bool RecordingPlatform::getDeviceProperty(DevInfoSet set, const DeviceInfoData* info,
                                          const DevPropKey& key, uint32_t* propType,
                                          uint8_t* buffer, uint32_t bufferSize,
                                          uint32_t* requiredSize) {
    CapturedCall c = ask::deviceProperty(set, info, key, buffer, bufferSize);
    bool ok = inner().getDeviceProperty(set, info, key, propType, buffer, bufferSize, requiredSize);
    if (propType)
        c.type = *propType;
    return keepAnswer(std::move(c), ok, requiredSize, buffer, bufferSize, nullptr);
}

bool RecordingPlatform::destroyDeviceInfoList(DevInfoSet set) {
    bool ok = inner().destroyDeviceInfoList(set);
    keep(ask::withTarget(Op::DestroyDeviceInfoList, set), ok);
    return ok;
}

Handle RecordingPlatform::createFile(const std::u16string& path, uint32_t access,
                                     uint32_t shareMode, uint32_t disposition,
                                     uint32_t flagsAndAttributes) {
    CapturedCall c = ask::createFile(path, access, shareMode, disposition, flagsAndAttributes);
    c.result = inner().createFile(path, access, shareMode, disposition, flagsAndAttributes);
    Handle handle = c.result;
    keep(std::move(c), handle != kInvalidHandle);
    return handle;
}

bool RecordingPlatform::deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                        uint32_t inSize, void* outBuffer, uint32_t outSize,
                                        uint32_t* bytesReturned) {
    CapturedCall c = ask::deviceIoControl(handle, controlCode, inBuffer, inSize, outSize);
    bool ok = inner().deviceIoControl(handle, controlCode, inBuffer, inSize, outBuffer, outSize,
                                      bytesReturned);
    // A driver may hand bytes back with a failure too (more data to come, say); what the
    // count covers is what the caller can see either way.
    c.returned = bytesReturned ? *bytesReturned : 0;
    if (outBuffer)
        c.out.assign(static_cast<const uint8_t*>(outBuffer),
                     static_cast<const uint8_t*>(outBuffer) + std::min(c.returned, outSize));
    keep(std::move(c), ok);
    return ok;
}

bool RecordingPlatform::closeHandle(Handle handle) {
    bool ok = inner().closeHandle(handle);
    keep(ask::withTarget(Op::CloseHandle, handle), ok);
    return ok;
}

uint32_t RecordingPlatform::getLastError() {
    CapturedCall c = ask::of(Op::GetLastError);
    c.error = inner().getLastError();
    c.ok = true;
    calls_.push_back(c);
    return c.error;
}

int RecordingPlatform::messageBox(const std::u16string& text, const std::u16string& caption,
                                  uint32_t type) {
    CapturedCall c = ask::messageBox(text, caption, type);
    c.result = inner().messageBox(text, caption, type);
    c.ok = true;
    calls_.push_back(c);
    return static_cast<int>(c.result);
}

std::uintptr_t RecordingPlatform::getModuleHandle() {
    CapturedCall c = ask::of(Op::GetModuleHandle);
    std::uintptr_t module = inner().getModuleHandle();
    c.result = static_cast<int64_t>(module);
    c.ok = true;
    calls_.push_back(c);
    return module;
}

std::u16string RecordingPlatform::getCommandLine() {
    CapturedCall c = ask::of(Op::GetCommandLine);
    c.text = inner().getCommandLine();
    c.ok = true;
    calls_.push_back(c);
    return c.text;
}

bool RecordingPlatform::frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                                         int showMode) {
    CapturedCall c = ask::frameworkStartup(module, commandLine, showMode);
    c.ok = inner().frameworkStartup(module, commandLine, showMode);
    c.error = 0;
    calls_.push_back(c);
    return c.ok;
}

LocalTime RecordingPlatform::localTime() {
    CapturedCall c = ask::of(Op::LocalTime);
    c.time = inner().localTime();
    c.ok = true;
    calls_.push_back(c);
    return c.time;
}

LockResult RecordingPlatform::takeLock(const std::u16string& name, Handle* lock) {
    CapturedCall c = ask::takeLock(name);
    c.lock = inner().takeLock(name, lock);
    c.result = *lock;
    c.ok = c.lock == LockResult::Taken || c.lock == LockResult::TakenOverAbandoned;
    if (!c.ok)
        c.error = inner().getLastError();
    calls_.push_back(c);
    return c.lock;
}

bool RecordingPlatform::releaseLock(Handle lock) {
    bool ok = inner().releaseLock(lock);
    keep(ask::withTarget(Op::ReleaseLock, lock), ok);
    return ok;
}

bool RecordingPlatform::getSystemPowerStatus(PowerStatus* status) {
    CapturedCall c = ask::of(Op::GetPowerStatus);
    c.ok = inner().getSystemPowerStatus(status);
    if (c.ok)
        c.power = *status;
    else
        c.error = inner().getLastError();
    calls_.push_back(c);
    return c.ok;
}

} // namespace qir::capture
