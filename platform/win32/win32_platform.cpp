#include "platform/win32/win32_platform.h"

#include "platform/win32/windows_headers.h"
// The SetupAPI header relies on the types of those.
#include <setupapi.h>

#include <cstddef>

#include "platform/win32/win32_wide.h"

namespace qir::win32 {

using platform::DevInfoSet;
using platform::Handle;

// The core builds and reads these records itself, so they must be the SDK's records
// byte for byte; a mismatch would hand SetupAPI a wrong cbSize or misplace a field.
static_assert(sizeof(platform::Guid) == sizeof(GUID), "GUID layout");
static_assert(sizeof(platform::DevPropKey) == sizeof(DEVPROPKEY), "DEVPROPKEY layout");
static_assert(offsetof(platform::DevPropKey, pid) == offsetof(DEVPROPKEY, pid), "DEVPROPKEY pid");
static_assert(sizeof(platform::DeviceInfoData) == sizeof(SP_DEVINFO_DATA), "SP_DEVINFO_DATA size");
static_assert(offsetof(platform::DeviceInfoData, classGuid) == offsetof(SP_DEVINFO_DATA, ClassGuid),
              "SP_DEVINFO_DATA ClassGuid");
static_assert(offsetof(platform::DeviceInfoData, devInst) == offsetof(SP_DEVINFO_DATA, DevInst),
              "SP_DEVINFO_DATA DevInst");
static_assert(offsetof(platform::DeviceInfoData, reserved) == offsetof(SP_DEVINFO_DATA, Reserved),
              "SP_DEVINFO_DATA Reserved");
static_assert(sizeof(platform::DeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA),
              "SP_DEVICE_INTERFACE_DATA size");
static_assert(offsetof(platform::DeviceInterfaceData, interfaceClassGuid) ==
                  offsetof(SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid),
              "SP_DEVICE_INTERFACE_DATA InterfaceClassGuid");
static_assert(offsetof(platform::DeviceInterfaceData, flags) ==
                  offsetof(SP_DEVICE_INTERFACE_DATA, Flags),
              "SP_DEVICE_INTERFACE_DATA Flags");
static_assert(offsetof(platform::DeviceInterfaceData, reserved) ==
                  offsetof(SP_DEVICE_INTERFACE_DATA, Reserved),
              "SP_DEVICE_INTERFACE_DATA Reserved");
static_assert(sizeof(DWORD) == sizeof(uint32_t), "DWORD is 32-bit");
static_assert(sizeof(HANDLE) == sizeof(Handle) && sizeof(HDEVINFO) == sizeof(DevInfoSet),
              "handles fit the boundary's handle type");

namespace {

HDEVINFO toSet(DevInfoSet set) {
    return reinterpret_cast<HDEVINFO>(set);
}
HANDLE toHandle(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
Handle fromHandle(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
}

SP_DEVINFO_DATA* toInfo(const platform::DeviceInfoData* info) {
    // SetupAPI takes these non-const although it only reads the ones passed in.
    return reinterpret_cast<SP_DEVINFO_DATA*>(const_cast<platform::DeviceInfoData*>(info));
}

// DWORD is unsigned long, a type distinct from uint32_t: out values pass through a
// DWORD of our own rather than an aliased pointer, and only when the caller asked.
class DwordOut {
  public:
    explicit DwordOut(uint32_t* target) : target_(target) {}
    ~DwordOut() {
        if (target_)
            *target_ = static_cast<uint32_t>(value_);
    }
    DwordOut(const DwordOut&) = delete;
    DwordOut& operator=(const DwordOut&) = delete;
    DWORD* get() { return target_ ? &value_ : nullptr; }

  private:
    uint32_t* target_;
    DWORD value_ = 0;
};

} // namespace

DevInfoSet Win32Platform::getClassDevs(const platform::Guid* classGuid, uint32_t flags) {
    HDEVINFO set =
        SetupDiGetClassDevsW(reinterpret_cast<const GUID*>(classGuid), nullptr, nullptr, flags);
    return reinterpret_cast<DevInfoSet>(set);
}

bool Win32Platform::enumDeviceInfo(DevInfoSet set, uint32_t index, platform::DeviceInfoData* info) {
    return SetupDiEnumDeviceInfo(toSet(set), index, toInfo(info)) != FALSE;
}

bool Win32Platform::enumDeviceInterfaces(DevInfoSet set, const platform::DeviceInfoData* info,
                                         const platform::Guid& interfaceClass, uint32_t index,
                                         platform::DeviceInterfaceData* iface) {
    return SetupDiEnumDeviceInterfaces(toSet(set), toInfo(info),
                                       reinterpret_cast<const GUID*>(&interfaceClass), index,
                                       reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(iface)) != FALSE;
}

bool Win32Platform::getDeviceInterfaceDetail(DevInfoSet set,
                                             const platform::DeviceInterfaceData* iface,
                                             uint8_t* detail, uint32_t detailSize,
                                             uint32_t* requiredSize,
                                             platform::DeviceInfoData* info) {
    BOOL ok;
    {
        DwordOut required(requiredSize);
        ok = SetupDiGetDeviceInterfaceDetailW(
            toSet(set),
            reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(
                const_cast<platform::DeviceInterfaceData*>(iface)),
            reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail), detailSize,
            required.get(), toInfo(info));
    }
    return ok != FALSE;
}

bool Win32Platform::getDeviceRegistryProperty(DevInfoSet set, const platform::DeviceInfoData* info,
                                              uint32_t property, uint32_t* regType, uint8_t* buffer,
                                              uint32_t bufferSize, uint32_t* requiredSize) {
    BOOL ok;
    {
        DwordOut type(regType);
        DwordOut required(requiredSize);
        ok = SetupDiGetDeviceRegistryPropertyW(toSet(set), toInfo(info), property, type.get(),
                                               buffer, bufferSize, required.get());
    }
    return ok != FALSE;
}

bool Win32Platform::getDeviceProperty(DevInfoSet set, const platform::DeviceInfoData* info,
                                      const platform::DevPropKey& key, uint32_t* propType,
                                      uint8_t* buffer, uint32_t bufferSize,
                                      uint32_t* requiredSize) {
    static_assert(sizeof(DEVPROPTYPE) == sizeof(uint32_t), "DEVPROPTYPE is 32-bit");
    BOOL ok;
    DEVPROPTYPE type = 0;
    {
        DwordOut required(requiredSize);
        ok = SetupDiGetDevicePropertyW(toSet(set), toInfo(info),
                                       reinterpret_cast<const DEVPROPKEY*>(&key), &type, buffer,
                                       bufferSize, required.get(), 0);
    }
    if (propType)
        *propType = static_cast<uint32_t>(type);
    return ok != FALSE;
}

bool Win32Platform::destroyDeviceInfoList(DevInfoSet set) {
    return SetupDiDestroyDeviceInfoList(toSet(set)) != FALSE;
}

Handle Win32Platform::createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                                 uint32_t disposition, uint32_t flagsAndAttributes) {
    HANDLE handle;
    DWORD error;
    {
        std::wstring widePath = toWide(path);
        handle = CreateFileW(widePath.c_str(), access, shareMode, nullptr, disposition,
                             flagsAndAttributes, nullptr);
        error = GetLastError();
    }
    // Releasing the path must not disturb the error the caller reads next.
    SetLastError(error);
    return reinterpret_cast<Handle>(handle);
}

bool Win32Platform::deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                    uint32_t inSize, void* outBuffer, uint32_t outSize,
                                    uint32_t* bytesReturned) {
    // The call is synchronous, and without an OVERLAPPED record Windows requires the
    // returned-bytes pointer, so one is always passed.
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(toHandle(handle), controlCode, inBuffer, inSize, outBuffer, outSize,
                              &returned, nullptr);
    if (bytesReturned)
        *bytesReturned = static_cast<uint32_t>(returned);
    return ok != FALSE;
}

bool Win32Platform::closeHandle(Handle handle) {
    return CloseHandle(toHandle(handle)) != FALSE;
}

uint32_t Win32Platform::getLastError() {
    return static_cast<uint32_t>(GetLastError());
}

int Win32Platform::messageBox(const std::u16string& text, const std::u16string& caption,
                              uint32_t type) {
    std::wstring wideText = toWide(text);
    std::wstring wideCaption = toWide(caption);
    return MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), type);
}

std::uintptr_t Win32Platform::getModuleHandle() {
    return reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
}

std::u16string Win32Platform::getCommandLine() {
    return fromWide(GetCommandLineW());
}

// The tool uses no application framework; this stands where one would set itself up for
// the module, and has nothing to do.
bool Win32Platform::frameworkStartup(std::uintptr_t, const std::u16string&, int) {
    return true;
}

platform::LocalTime Win32Platform::localTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

platform::LockResult Win32Platform::takeLock(const std::u16string& name, Handle* lock) {
    *lock = platform::kInvalidHandle;
    const std::wstring wideName = toWide(name);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, wideName.c_str());
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) {
        // A mutex created by another account (SYSTEM for a deployment) grants others no
        // more than waiting on it, and CreateMutexW asks for all access; waiting is all
        // the lock needs. Where no such mutex exists, the caller may not create global
        // objects at all.
        mutex = OpenMutexW(SYNCHRONIZE, FALSE, wideName.c_str());
        if (!mutex) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_ACCESS_DENIED)
                return platform::LockResult::Failed;
            SetLastError(ERROR_ACCESS_DENIED);
            return platform::LockResult::NotPermitted;
        }
    }
    if (!mutex)
        return platform::LockResult::Failed;
    switch (WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
        *lock = fromHandle(mutex);
        return platform::LockResult::Taken;
    case WAIT_ABANDONED:
        *lock = fromHandle(mutex);
        return platform::LockResult::TakenOverAbandoned;
    case WAIT_TIMEOUT:
        CloseHandle(mutex);
        return platform::LockResult::HeldElsewhere;
    default: {
        const DWORD error = GetLastError();
        CloseHandle(mutex);
        SetLastError(error);
        return platform::LockResult::Failed;
    }
    }
}

bool Win32Platform::releaseLock(Handle lock) {
    const bool released = ReleaseMutex(toHandle(lock)) != FALSE;
    return CloseHandle(toHandle(lock)) != FALSE && released;
}

bool Win32Platform::getSystemPowerStatus(platform::PowerStatus* status) {
    SYSTEM_POWER_STATUS power;
    if (!GetSystemPowerStatus(&power))
        return false;
    status->acLineStatus = power.ACLineStatus;
    status->batteryFlag = power.BatteryFlag;
    status->batteryLifePercent = power.BatteryLifePercent;
    return true;
}

} // namespace qir::win32
