// A platform call's question as a capture holds it, built from the call's arguments.
// The recorder and the replay build it the same way, so what one writes the other can
// compare.
#pragma once

#include <cstring>

#include "capture/captured_call.h"

namespace qir::capture::ask {

inline CapturedCall of(Op op) {
    CapturedCall c;
    c.op = op;
    return c;
}

inline CapturedCall getClassDevs(const platform::Guid* classGuid, uint32_t flags) {
    CapturedCall c = of(Op::GetClassDevs);
    if (classGuid)
        c.guid = *classGuid;
    c.number = flags;
    return c;
}

inline CapturedCall enumDeviceInfo(platform::DevInfoSet set, uint32_t index) {
    CapturedCall c = of(Op::EnumDeviceInfo);
    c.target = set;
    c.number = index;
    return c;
}

inline CapturedCall enumDeviceInterfaces(platform::DevInfoSet set,
                                         const platform::DeviceInfoData* info,
                                         const platform::Guid& interfaceClass, uint32_t index) {
    CapturedCall c = of(Op::EnumDeviceInterfaces);
    c.target = set;
    if (info)
        c.devInst = info->devInst;
    c.guid = interfaceClass;
    c.number = index;
    return c;
}

inline CapturedCall interfaceDetail(platform::DevInfoSet set,
                                    const platform::DeviceInterfaceData* iface,
                                    const uint8_t* detail, uint32_t detailSize,
                                    const platform::DeviceInfoData* info) {
    CapturedCall c = of(Op::GetInterfaceDetail);
    c.target = set;
    if (iface)
        c.guid = iface->interfaceClassGuid;
    c.size = detailSize;
    c.buffer = detail != nullptr;
    c.info = info != nullptr;
    return c;
}

inline CapturedCall registryProperty(platform::DevInfoSet set, const platform::DeviceInfoData* info,
                                     uint32_t property, const uint8_t* buffer,
                                     uint32_t bufferSize) {
    CapturedCall c = of(Op::GetRegistryProperty);
    c.target = set;
    if (info)
        c.devInst = info->devInst;
    c.number = property;
    c.size = bufferSize;
    c.buffer = buffer != nullptr;
    return c;
}

inline CapturedCall deviceProperty(platform::DevInfoSet set, const platform::DeviceInfoData* info,
                                   const platform::DevPropKey& key, const uint8_t* buffer,
                                   uint32_t bufferSize) {
    CapturedCall c = of(Op::GetDeviceProperty);
    c.target = set;
    if (info)
        c.devInst = info->devInst;
    c.guid = key.fmtid;
    c.number = key.pid;
    c.size = bufferSize;
    c.buffer = buffer != nullptr;
    return c;
}

inline CapturedCall withTarget(Op op, int64_t target) {
    CapturedCall c = of(op);
    c.target = target;
    return c;
}

inline CapturedCall createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                               uint32_t disposition, uint32_t flagsAndAttributes) {
    CapturedCall c = of(Op::CreateFile);
    c.text = path;
    c.number = access;
    c.share = shareMode;
    c.disposition = disposition;
    c.flags = flagsAndAttributes;
    return c;
}

inline CapturedCall deviceIoControl(platform::Handle handle, uint32_t controlCode,
                                    const void* inBuffer, uint32_t inSize, uint32_t outSize) {
    CapturedCall c = of(Op::DeviceIoControl);
    c.target = handle;
    c.number = controlCode;
    c.inSize = inSize;
    c.buffer = inBuffer != nullptr;
    if (inBuffer && inSize)
        c.in.assign(static_cast<const uint8_t*>(inBuffer),
                    static_cast<const uint8_t*>(inBuffer) + inSize);
    c.size = outSize;
    return c;
}

inline CapturedCall messageBox(const std::u16string& text, const std::u16string& caption,
                               uint32_t type) {
    CapturedCall c = of(Op::MessageBox);
    c.text = text;
    c.caption = caption;
    c.number = type;
    return c;
}

inline CapturedCall frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                                     int showMode) {
    CapturedCall c = of(Op::FrameworkStartup);
    c.target = static_cast<int64_t>(module);
    c.text = commandLine;
    c.number = static_cast<uint32_t>(showMode);
    return c;
}

inline CapturedCall takeLock(const std::u16string& name) {
    CapturedCall c = of(Op::TakeLock);
    c.text = name;
    return c;
}

} // namespace qir::capture::ask
