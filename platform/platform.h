// The operating-system boundary of the tool.
//
// Every call the core makes into Windows goes through this interface, and nothing
// else does. It is deliberately as low level as the Windows calls it stands for:
// buffer sizing, index walks and request byte layouts are the core's business, so
// that they are the same code on Windows and on the simulated machine.
#pragma once

#include <cstdint>
#include <string>

namespace qir::platform {

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

inline bool operator==(const Guid& a, const Guid& b) {
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i])
            return false;
    return true;
}
inline bool operator!=(const Guid& a, const Guid& b) {
    return !(a == b);
}

// DEVPROPKEY
struct DevPropKey {
    Guid fmtid;
    uint32_t pid;
};

inline bool operator==(const DevPropKey& a, const DevPropKey& b) {
    return a.fmtid == b.fmtid && a.pid == b.pid;
}

// SP_DEVINFO_DATA as laid out on 64-bit Windows (cbSize must be 32).
struct DeviceInfoData {
    uint32_t cbSize;
    Guid classGuid;
    uint32_t devInst;
    uint64_t reserved;
};
static_assert(sizeof(DeviceInfoData) == 32, "SP_DEVINFO_DATA is 32 bytes on x64");

// SP_DEVICE_INTERFACE_DATA as laid out on 64-bit Windows (cbSize must be 32).
struct DeviceInterfaceData {
    uint32_t cbSize;
    Guid interfaceClassGuid;
    uint32_t flags;
    uint64_t reserved;
};
static_assert(sizeof(DeviceInterfaceData) == 32, "SP_DEVICE_INTERFACE_DATA is 32 bytes on x64");

// HDEVINFO and HANDLE; -1 is INVALID_HANDLE_VALUE for both.
using DevInfoSet = std::intptr_t;
using Handle = std::intptr_t;
inline constexpr DevInfoSet kInvalidDevInfoSet = -1;
inline constexpr Handle kInvalidHandle = -1;

struct LocalTime {
    int year;
    int month; // 1..12
    int day;   // 1..31
    int hour;
    int minute;
    int second;
};

// How an attempt to take a machine-wide named lock without waiting ended.
enum class LockResult {
    Taken,
    TakenOverAbandoned, // its last holder ended without letting go: the lock is ours now
    HeldElsewhere,
    NotPermitted, // the caller may not create (or open) the machine-wide object
    Failed,       // any other Windows failure; getLastError tells which
};

// SYSTEM_POWER_STATUS's fields as Windows fills them (255 where Windows cannot tell).
struct PowerStatus {
    uint8_t acLineStatus = 255; // 0 offline, 1 online
    uint8_t batteryFlag = 255;  // 1 high, 2 low, 4 critical, 8 charging, 128 no battery
    uint8_t batteryLifePercent = 255;
};

class Platform {
  public:
    virtual ~Platform() = default;

    // SetupAPI subset. Buffers are raw bytes exactly as Windows fills them
    // (wide strings as little-endian UTF-16).
    virtual DevInfoSet getClassDevs(const Guid* classGuid, uint32_t flags) = 0;
    virtual bool enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) = 0;
    virtual bool enumDeviceInterfaces(DevInfoSet set, const DeviceInfoData* info,
                                      const Guid& interfaceClass, uint32_t index,
                                      DeviceInterfaceData* iface) = 0;
    // SP_DEVICE_INTERFACE_DETAIL_DATA_W: u32 cbSize (8 on x64) then the path at offset 4.
    virtual bool getDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData* iface,
                                          uint8_t* detail, uint32_t detailSize,
                                          uint32_t* requiredSize, DeviceInfoData* info) = 0;
    virtual bool getDeviceRegistryProperty(DevInfoSet set, const DeviceInfoData* info,
                                           uint32_t property, uint32_t* regType, uint8_t* buffer,
                                           uint32_t bufferSize, uint32_t* requiredSize) = 0;
    virtual bool getDeviceProperty(DevInfoSet set, const DeviceInfoData* info,
                                   const DevPropKey& key, uint32_t* propType, uint8_t* buffer,
                                   uint32_t bufferSize, uint32_t* requiredSize) = 0;
    virtual bool destroyDeviceInfoList(DevInfoSet set) = 0;

    // Device I/O.
    virtual Handle createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                              uint32_t disposition, uint32_t flagsAndAttributes) = 0;
    virtual bool deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                 uint32_t inSize, void* outBuffer, uint32_t outSize,
                                 uint32_t* bytesReturned) = 0;
    virtual bool closeHandle(Handle handle) = 0;
    virtual uint32_t getLastError() = 0;

    // User interface, start-up and time.
    virtual int messageBox(const std::u16string& text, const std::u16string& caption,
                           uint32_t type) = 0;
    virtual std::uintptr_t getModuleHandle() = 0;
    virtual std::u16string getCommandLine() = 0;
    // Stands where an application framework would initialise itself for the module.
    virtual bool frameworkStartup(std::uintptr_t module, const std::u16string& commandLine,
                                  int showMode) = 0;
    virtual LocalTime localTime() = 0;

    // A named mutex tried with a zero wait (CreateMutexW, WaitForSingleObject). With
    // Taken or TakenOverAbandoned *lock holds it until releaseLock (ReleaseMutex,
    // CloseHandle); otherwise *lock is kInvalidHandle and nothing stays open.
    virtual LockResult takeLock(const std::u16string& name, Handle* lock) = 0;
    virtual bool releaseLock(Handle lock) = 0;
    // GetSystemPowerStatus.
    virtual bool getSystemPowerStatus(PowerStatus* status) = 0;
};

// Declares every call of Platform with `override`, in a class that implements the whole
// interface itself (a machine, the real Windows, a platform that records or replays every
// call): a call added to the interface is declared here once for all of them, and a
// class that changes only a few calls derives from ForwardingPlatform instead.
#define QIR_PLATFORM_OVERRIDES                                                                     \
    ::qir::platform::DevInfoSet getClassDevs(const ::qir::platform::Guid* classGuid,               \
                                             uint32_t flags) override;                             \
    bool enumDeviceInfo(::qir::platform::DevInfoSet set, uint32_t index,                           \
                        ::qir::platform::DeviceInfoData* info) override;                           \
    bool enumDeviceInterfaces(::qir::platform::DevInfoSet set,                                     \
                              const ::qir::platform::DeviceInfoData* info,                         \
                              const ::qir::platform::Guid& interfaceClass, uint32_t index,         \
                              ::qir::platform::DeviceInterfaceData* iface) override;               \
    bool getDeviceInterfaceDetail(::qir::platform::DevInfoSet set,                                 \
                                  const ::qir::platform::DeviceInterfaceData* iface,               \
                                  uint8_t* detail, uint32_t detailSize, uint32_t* requiredSize,    \
                                  ::qir::platform::DeviceInfoData* info) override;                 \
    bool getDeviceRegistryProperty(::qir::platform::DevInfoSet set,                                \
                                   const ::qir::platform::DeviceInfoData* info, uint32_t property, \
                                   uint32_t* regType, uint8_t* buffer, uint32_t bufferSize,        \
                                   uint32_t* requiredSize) override;                               \
    bool getDeviceProperty(::qir::platform::DevInfoSet set,                                        \
                           const ::qir::platform::DeviceInfoData* info,                            \
                           const ::qir::platform::DevPropKey& key, uint32_t* propType,             \
                           uint8_t* buffer, uint32_t bufferSize, uint32_t* requiredSize) override; \
    bool destroyDeviceInfoList(::qir::platform::DevInfoSet set) override;                          \
    ::qir::platform::Handle createFile(const std::u16string& path, uint32_t access,                \
                                       uint32_t shareMode, uint32_t disposition,                   \
                                       uint32_t flagsAndAttributes) override;                      \
    bool deviceIoControl(::qir::platform::Handle handle, uint32_t controlCode, void* inBuffer,     \
                         uint32_t inSize, void* outBuffer, uint32_t outSize,                       \
                         uint32_t* bytesReturned) override;                                        \
    bool closeHandle(::qir::platform::Handle handle) override;                                     \
    uint32_t getLastError() override;                                                              \
    int messageBox(const std::u16string& text, const std::u16string& caption, uint32_t type)       \
        override;                                                                                  \
    std::uintptr_t getModuleHandle() override;                                                     \
    std::u16string getCommandLine() override;                                                      \
    bool frameworkStartup(std::uintptr_t module, const std::u16string& commandLine, int showMode)  \
        override;                                                                                  \
    ::qir::platform::LocalTime localTime() override;                                               \
    ::qir::platform::LockResult takeLock(const std::u16string& name,                               \
                                         ::qir::platform::Handle* lock) override;                  \
    bool releaseLock(::qir::platform::Handle lock) override;                                       \
    bool getSystemPowerStatus(::qir::platform::PowerStatus* status) override

// The platform the core talks to. Set once by each executable's entry (and by tests)
// before the main routine runs.
Platform& os();
void setPlatform(Platform* platform);

// The real machine's platform, for an entry that runs on one (Windows builds only).
Platform& hostPlatform();

} // namespace qir::platform
