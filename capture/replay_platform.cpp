#include "capture/replay_platform.h"

#include <algorithm>
#include <cstring>

#include "capture/capture_file.h"
#include "capture/questions.h"
#include "platform/win_constants.h"

namespace qir::capture {

using namespace qir::platform;

std::string ReplayPlatform::difference() const {
    if (!difference_.empty())
        return difference_;
    if (next_ < calls_.size())
        return "calls[" + std::to_string(next_) + "]: the tool ended without asking " +
               questionText(calls_[next_]);
    return {};
}

const CapturedCall* ReplayPlatform::answer(const CapturedCall& asked) {
    if (!difference_.empty())
        return nullptr;
    std::string question = questionText(asked);
    if (next_ >= calls_.size()) {
        difference_ =
            "calls[" + std::to_string(next_) + "]: the capture ends, the tool asked " + question;
        return nullptr;
    }
    const CapturedCall& recorded = calls_[next_];
    std::string expected = questionText(recorded);
    if (expected != question) {
        difference_ = "calls[" + std::to_string(next_) + "]: recorded " + expected +
                      ", the tool asked " + question;
        return nullptr;
    }
    ++next_;
    return &recorded;
}

void ReplayPlatform::copyOut(const std::vector<uint8_t>& bytes, void* buffer, uint32_t size) const {
    if (buffer && !bytes.empty())
        std::memcpy(buffer, bytes.data(), std::min<size_t>(bytes.size(), size));
}

DevInfoSet ReplayPlatform::getClassDevs(const Guid* classGuid, uint32_t flags) {
    const CapturedCall* r = answer(ask::getClassDevs(classGuid, flags));
    return r ? r->result : kInvalidDevInfoSet;
}

bool ReplayPlatform::enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) {
    const CapturedCall* r = answer(ask::enumDeviceInfo(set, index));
    if (!r || !r->ok)
        return false;
    if (info) {
        info->classGuid = r->outGuid.value_or(Guid{});
        info->devInst = r->outDevInst.value_or(0);
        info->reserved = 0;
    }
    return true;
}

bool ReplayPlatform::enumDeviceInterfaces(DevInfoSet set, const DeviceInfoData* info,
                                          const Guid& interfaceClass, uint32_t index,
                                          DeviceInterfaceData* iface) {
    const CapturedCall* r = answer(ask::enumDeviceInterfaces(set, info, interfaceClass, index));
    if (!r || !r->ok)
        return false;
    if (iface) {
        iface->interfaceClassGuid = r->outGuid.value_or(Guid{});
        iface->flags = r->outFlags;
        iface->reserved = 0;
    }
    return true;
}

bool ReplayPlatform::getDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData* iface,
                                              uint8_t* detail, uint32_t detailSize,
                                              uint32_t* requiredSize, DeviceInfoData* info) {
    const CapturedCall* r = answer(ask::interfaceDetail(set, iface, detail, detailSize, info));
    if (!r)
        return false;
    if (requiredSize && r->required)
        *requiredSize = *r->required;
    if (info && r->outDevInst)
        info->devInst = *r->outDevInst;
    if (r->ok)
        copyOut(r->out, detail, detailSize);
    return r->ok;
}

bool ReplayPlatform::getDeviceRegistryProperty(DevInfoSet set, const DeviceInfoData* info,
                                               uint32_t property, uint32_t* regType,
                                               uint8_t* buffer, uint32_t bufferSize,
                                               uint32_t* requiredSize) {
    const CapturedCall* r = answer(ask::registryProperty(set, info, property, buffer, bufferSize));
    if (!r)
        return false;
    if (regType && r->type)
        *regType = *r->type;
    if (requiredSize && r->required)
        *requiredSize = *r->required;
    if (r->ok)
        copyOut(r->out, buffer, bufferSize);
    return r->ok;
}

bool ReplayPlatform::getDeviceProperty(DevInfoSet set, const DeviceInfoData* info,
                                       const DevPropKey& key, uint32_t* propType, uint8_t* buffer,
                                       uint32_t bufferSize, uint32_t* requiredSize) {
    const CapturedCall* r = answer(ask::deviceProperty(set, info, key, buffer, bufferSize));
    if (!r)
        return false;
    if (propType && r->type)
        *propType = *r->type;
    if (requiredSize && r->required)
        *requiredSize = *r->required;
    if (r->ok)
        copyOut(r->out, buffer, bufferSize);
    return r->ok;
}

bool ReplayPlatform::destroyDeviceInfoList(DevInfoSet set) {
    const CapturedCall* r = answer(ask::withTarget(Op::DestroyDeviceInfoList, set));
    return r && r->ok;
}

Handle ReplayPlatform::createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                                  uint32_t disposition, uint32_t flagsAndAttributes) {
    const CapturedCall* r =
        answer(ask::createFile(path, access, shareMode, disposition, flagsAndAttributes));
    return r ? r->result : kInvalidHandle;
}

bool ReplayPlatform::deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                     uint32_t inSize, void* outBuffer, uint32_t outSize,
                                     uint32_t* bytesReturned) {
    const CapturedCall* r =
        answer(ask::deviceIoControl(handle, controlCode, inBuffer, inSize, outSize));
    if (!r) {
        if (bytesReturned)
            *bytesReturned = 0;
        return false;
    }
    copyOut(r->out, outBuffer, outSize);
    if (bytesReturned)
        *bytesReturned = std::min(r->returned, outSize);
    return r->ok;
}

bool ReplayPlatform::closeHandle(Handle handle) {
    const CapturedCall* r = answer(ask::withTarget(Op::CloseHandle, handle));
    return r && r->ok;
}

uint32_t ReplayPlatform::getLastError() {
    const CapturedCall* r = answer(ask::of(Op::GetLastError));
    return r ? r->error : win::ERROR_GEN_FAILURE;
}

int ReplayPlatform::messageBox(const std::u16string& text, const std::u16string& caption,
                               uint32_t type) {
    const CapturedCall* r = answer(ask::messageBox(text, caption, type));
    return r ? static_cast<int>(r->result) : 0;
}

std::uintptr_t ReplayPlatform::getModuleHandle() {
    const CapturedCall* r = answer(ask::of(Op::GetModuleHandle));
    return r ? static_cast<std::uintptr_t>(r->result) : 0;
}

std::u16string ReplayPlatform::getCommandLine() {
    const CapturedCall* r = answer(ask::of(Op::GetCommandLine));
    return r ? r->text : std::u16string();
}

bool ReplayPlatform::frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                                      int showMode) {
    const CapturedCall* r = answer(ask::frameworkStartup(module, commandLine, showMode));
    return r && r->ok;
}

LocalTime ReplayPlatform::localTime() {
    const CapturedCall* r = answer(ask::of(Op::LocalTime));
    return r ? r->time : LocalTime{1970, 1, 1, 0, 0, 0};
}

LockResult ReplayPlatform::takeLock(const std::u16string& name, Handle* lock) {
    const CapturedCall* r = answer(ask::takeLock(name));
    *lock = r && r->ok ? r->result : kInvalidHandle;
    return r ? r->lock : LockResult::Failed;
}

bool ReplayPlatform::releaseLock(Handle lock) {
    const CapturedCall* r = answer(ask::withTarget(Op::ReleaseLock, lock));
    return r && r->ok;
}

bool ReplayPlatform::getSystemPowerStatus(PowerStatus* status) {
    const CapturedCall* r = answer(ask::of(Op::GetPowerStatus));
    if (r && r->ok)
        *status = r->power;
    return r && r->ok;
}

} // namespace qir::capture
